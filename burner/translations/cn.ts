<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN" sourcelanguage="zh_CN">
<context>
    <name>BandPanel</name>
    <message>
        <source>无手环</source>
        <translation>无手环</translation>
    </message>
    <message>
        <source>成功</source>
        <translation>成功</translation>
    </message>
    <message>
        <source>失败</source>
        <translation>失败</translation>
    </message>
</context>
<context>
    <name>BurnLooks</name>
    <message>
        <source>复位中</source>
        <translation>复位中</translation>
    </message>
    <message>
        <source>等待升级模式</source>
        <translation>等待升级模式</translation>
    </message>
    <message>
        <source>正在烧录，请勿拔出手环</source>
        <translation>正在烧录，请勿拔出手环</translation>
    </message>
    <message>
        <source>等待手环重启</source>
        <translation>等待手环重启</translation>
    </message>
    <message>
        <source>版本 %1，请拔下手环</source>
        <translation>版本 %1，请拔下手环</translation>
    </message>
    <message>
        <source>端口打开失败</source>
        <translation>端口打开失败</translation>
    </message>
    <message>
        <source>端口通信失败</source>
        <translation>端口通信失败</translation>
    </message>
    <message>
        <source>手环没有进入升级模式</source>
        <translation>手环没有进入升级模式</translation>
    </message>
    <message>
        <source>烧录失败</source>
        <translation>烧录失败</translation>
    </message>
    <message>
        <source>回来的不是烧录的手环</source>
        <translation>回来的不是烧录的手环</translation>
    </message>
    <message>
        <source>烧录后手环没有正常重启</source>
        <translation>烧录后手环没有正常重启</translation>
    </message>
    <message>
        <source>[模拟手环]</source>
        <translation>[模拟手环]</translation>
    </message>
    <message>
        <source>正在烧录</source>
        <translation>正在烧录</translation>
    </message>
    <message>
        <source>正在烧录。现在关闭窗口，手环将没有固件。
仍然关闭吗?</source>
        <translation>正在烧录。现在关闭窗口，手环将没有固件。
仍然关闭吗?</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>烧录工具</source>
        <translation>烧录工具</translation>
    </message>
    <message>
        <source>结果</source>
        <translation>结果</translation>
    </message>
    <message>
        <source>复位</source>
        <translation>复位</translation>
    </message>
    <message>
        <source>烧录</source>
        <translation>烧录</translation>
    </message>
    <message>
        <source>请连接手环到电脑.</source>
        <translation>请连接手环到电脑.</translation>
    </message>
    <message>
        <source>请点击复位按钮.</source>
        <translation>请点击复位按钮.</translation>
    </message>
    <message>
        <source>复位成功，手环正在进入升级模式，请稍候.</source>
        <translation>复位成功，手环正在进入升级模式，请稍候.</translation>
    </message>
    <message>
        <source>端口无效</source>
        <translation>端口无效</translation>
    </message>
    <message>
        <source>端口打开失败</source>
        <translation>端口打开失败</translation>
    </message>
    <message>
        <source>复位失败，请重新连接手环到电脑.</source>
        <translation>复位失败，请重新连接手环到电脑.</translation>
    </message>
    <message>
        <source>端口通信失败</source>
        <translation>端口通信失败</translation>
    </message>
    <message>
        <source>手环没有进入升级模式，请重新连接手环到电脑.</source>
        <translation>手环没有进入升级模式，请重新连接手环到电脑.</translation>
    </message>
    <message>
        <source>正在烧录，请勿拔出手环.</source>
        <translation>正在烧录，请勿拔出手环.</translation>
    </message>
    <message>
        <source>烧录成功，请等待手环震动重启.</source>
        <translation>烧录成功，请等待手环震动重启.</translation>
    </message>
    <message>
        <source>烧录失败，请重新连接手环到电脑.</source>
        <translation>烧录失败，请重新连接手环到电脑.</translation>
    </message>
    <message>
        <source>烧录失败: %1</source>
        <translation>烧录失败: %1</translation>
    </message>
    <message>
        <source>请重新连接手环到电脑.</source>
        <translation>请重新连接手环到电脑.</translation>
    </message>
    <message>
        <source>烧录成功，手环已重启，版本 %1.
请拔下手环.</source>
        <translation>烧录成功，手环已重启，版本 %1.
请拔下手环.</translation>
    </message>
    <message>
        <source>烧录后手环没有正常重启，请重新连接手环到电脑.</source>
        <translation>烧录后手环没有正常重启，请重新连接手环到电脑.</translation>
    </message>
    <message>
        <source>工位问题，修复后按复位:
%1</source>
        <translation>工位问题，修复后按复位:
%1</translation>
    </message>
    <message>
        <source>请点击烧录按钮.</source>
        <translation>请点击烧录按钮.</translation>
    </message>
    <message>
        <source>失败</source>
        <translation>失败</translation>
    </message>
    <message>
        <source>错误</source>
        <translation>错误</translation>
    </message>
    <message>
        <source>无法监视USB设备，烧录工具不能运行.</source>
        <translation>无法监视USB设备，烧录工具不能运行.</translation>
    </message>
</context>
<context>
    <name>MultiBurnWindow</name>
    <message>
        <source>烧录</source>
        <translation>烧录</translation>
    </message>
    <message>
        <source>全部开始</source>
        <translation>全部开始</translation>
    </message>
    <message>
        <source>烧录工具</source>
        <translation>烧录工具</translation>
    </message>
    <message>
        <source>工位问题，修复后重试: %1</source>
        <translation>工位问题，修复后重试: %1</translation>
    </message>
    <message>
        <source>手环多于面板: %1 个手环未显示</source>
        <translation>手环多于面板: %1 个手环未显示</translation>
    </message>
    <message>
        <source>插入手环即开始烧录</source>
        <translation>插入手环即开始烧录</translation>
    </message>
    <message>
        <source>插入手环后按烧录</source>
        <translation>插入手环后按烧录</translation>
    </message>
    <message>
        <source>全部手环烧录成功，请拔下手环，再插入新手环</source>
        <translation>全部手环烧录成功，请拔下手环，再插入新手环</translation>
    </message>
    <message>
        <source>全部手环已有结果: 请拔下手环，失败的手环可按烧录重试</source>
        <translation>全部手环已有结果: 请拔下手环，失败的手环可按烧录重试</translation>
    </message>
    <message>
        <source>%1 个手环正在烧录，请勿拔出</source>
        <translation>%1 个手环正在烧录，请勿拔出</translation>
    </message>
</context>
<context>
    <name>RecordStatus</name>
    <message>
        <source>记录未保存: %1</source>
        <translation>记录未保存: %1</translation>
    </message>
    <message>
        <source>站点设置有误: %1</source>
        <translation>站点设置有误: %1</translation>
    </message>
    <message>
        <source>记录服务器 %1 的连接未经验证（station.ini 中没有 [database] ca=）</source>
        <translation>记录服务器 %1 的连接未经验证（station.ini 中没有 [database] ca=）</translation>
    </message>
</context>
<context>
    <name>SimulatedBand</name>
    <message>
        <source>[模拟手环]</source>
        <translation>[模拟手环]</translation>
    </message>
</context>
<context>
    <name>StationProblem</name>
    <message>
        <source>找不到 %1</source>
        <translation>找不到 %1</translation>
    </message>
    <message>
        <source>%1 无法使用: %2</source>
        <translation>%1 无法使用: %2</translation>
    </message>
    <message>
        <source>找不到文件夹 %1</source>
        <translation>找不到文件夹 %1</translation>
    </message>
    <message>
        <source>无法读取 %1: %2</source>
        <translation>无法读取 %1: %2</translation>
    </message>
    <message>
        <source>%1 是空文件</source>
        <translation>%1 是空文件</translation>
    </message>
    <message>
        <source>文件不存在</source>
        <translation>文件不存在</translation>
    </message>
    <message>
        <source>无法打开: %1</source>
        <translation>无法打开: %1</translation>
    </message>
    <message>
        <source>第 %1 行: %2</source>
        <translation>第 %1 行: %2</translation>
    </message>
    <message>
        <source>文件为空或不是XML文件</source>
        <translation>文件为空或不是XML文件</translation>
    </message>
    <message>
        <source>文件中没有元素</source>
        <translation>文件中没有元素</translation>
    </message>
    <message>
        <source>无法读取 QAT_DEF</source>
        <translation>无法读取 QAT_DEF</translation>
    </message>
    <message>
        <source>%1 的名称为空</source>
        <translation>%1 的名称为空</translation>
    </message>
    <message>
        <source>%1 的名称不安全: %2</source>
        <translation>%1 的名称不安全: %2</translation>
    </message>
    <message>
        <source>没有 %1 的名称</source>
        <translation>没有 %1 的名称</translation>
    </message>
    <message>
        <source>station.ini 不是设置文件 (%1)</source>
        <translation>station.ini 不是设置文件 (%1)</translation>
    </message>
    <message>
        <source>station.ini 含有服务器密码，本机其他用户可以读取它 (%1)</source>
        <translation>station.ini 含有服务器密码，本机其他用户可以读取它 (%1)</translation>
    </message>
    <message>
        <source>station.ini: [database] url 不是 %1 的形式</source>
        <translation>station.ini: [database] url 不是 %1 的形式</translation>
    </message>
    <message>
        <source>station.ini: [station] autostart=%1 不是 true 或 false，手环等待按键开始</source>
        <translation>station.ini: [station] autostart=%1 不是 true 或 false，手环等待按键开始</translation>
    </message>
    <message>
        <source>station.ini: [station] name 含有逗号，请把名称写在双引号中</source>
        <translation>station.ini: [station] name 含有逗号，请把名称写在双引号中</translation>
    </message>
    <message>
        <source>station.ini: [station] slots=%1 不是 1 到 %2 的数字，现只用一个面板</source>
        <translation>station.ini: [station] slots=%1 不是 1 到 %2 的数字，现只用一个面板</translation>
    </message>
    <message>
        <source>station.ini: 未知的设置 %1</source>
        <translation>station.ini: 未知的设置 %1</translation>
    </message>
</context>
</TS>
