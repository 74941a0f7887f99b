<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="zh_CN">
<context>
    <name>MainWindow</name>
    <message>
        <source>烧录工具</source>
        <translation>Burning Tool</translation>
    </message>
    <message>
        <source>结果</source>
        <translation>Result</translation>
    </message>
    <message>
        <source>复位</source>
        <translation>Reset</translation>
    </message>
    <message>
        <source>烧录</source>
        <translation>Burn</translation>
    </message>
    <message>
        <source>失败</source>
        <translation>Failed</translation>
    </message>
    <message>
        <source>成功</source>
        <translation>Succeeded</translation>
    </message>
    <message>
        <source>端口无效</source>
        <translation>Invalid port</translation>
    </message>
    <message>
        <source>端口打开失败</source>
        <translation>Failed to open the port</translation>
    </message>
    <message>
        <source>端口通信失败</source>
        <translation>Port communication failed</translation>
    </message>
    <message>
        <source>正在烧录，请勿拔出手环.</source>
        <translation>Burning, do not unplug the band.</translation>
    </message>
</context>
</TS>
