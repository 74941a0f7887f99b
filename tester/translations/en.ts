<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="zh_CN">
<context>
    <name>BandPanel</name>
    <message>
        <source>无手环</source>
        <translation>No band</translation>
    </message>
    <message>
        <source>成功</source>
        <translation>Passed</translation>
    </message>
    <message>
        <source>失败</source>
        <translation>Failed</translation>
    </message>
</context>
<context>
    <name>DefReason</name>
    <message>
        <source>&quot;type&quot; 的值为空</source>
        <translation>Fail to find &quot;type&quot;: its value is empty</translation>
    </message>
    <message>
        <source>无法读取 &quot;%1&quot;: 文件有 %2 字节，超过上限 %3 字节</source>
        <translation>Fail to read &quot;%1&quot;: %2 bytes, more than the %3 allowed</translation>
    </message>
    <message>
        <source>无法读取 &quot;%1&quot; 第 %2 行: 不允许实体声明</source>
        <translation>Fail to read &quot;%1&quot; at line %2: entity declarations are not allowed</translation>
    </message>
    <message>
        <source>%1 的值 &quot;%2&quot; 无效: 只允许 0 到 %3 的整数</source>
        <translation>Fail to accept %1 &quot;%2&quot;: allowed are whole numbers from 0 to %3</translation>
    </message>
    <message>
        <source>无法识别 %1</source>
        <translation>Fail to recognize %1</translation>
    </message>
    <message>
        <source>无法读取 %1</source>
        <translation>Fail to read %1</translation>
    </message>
    <message>
        <source>找不到 %1</source>
        <translation>Fail to find %1</translation>
    </message>
    <message>
        <source>找不到 &quot;%1&quot;</source>
        <translation>Fail to find &quot;%1&quot;</translation>
    </message>
    <message>
        <source>无法打开 &quot;%1&quot;</source>
        <translation>Fail to open &quot;%1&quot;</translation>
    </message>
    <message>
        <source>无法解析 &quot;%1&quot;</source>
        <translation>Fail to analyze &quot;%1&quot;</translation>
    </message>
    <message>
        <source>无法读取 &quot;%1&quot;: 不是XML文件</source>
        <translation>Fail to read &quot;%1&quot;: not an XML document</translation>
    </message>
    <message>
        <source>无法读取 &quot;%1&quot; 第 %2 行: %3</source>
        <translation>Fail to read &quot;%1&quot; at line %2: %3</translation>
    </message>
    <message>
        <source>%1 的值 &quot;%2&quot; 无效: 只允许 0 到 %3 的整数 (或 0x0 到 %4)</source>
        <translation>Fail to accept %1 &quot;%2&quot;: allowed are whole numbers from 0 to %3 (or 0x0 to %4)</translation>
    </message>
    <message>
        <source>%1 &quot;%2&quot; 重复出现</source>
        <translation>Fail to accept %1 &quot;%2&quot;: it is given twice</translation>
    </message>
    <message>
        <source>无法读取 %1: 它必须在 %2 定义之前，%2 定义之后的内容不再读取</source>
        <translation>Fail to read %1: it must come before the %2 definition, which ends the reading</translation>
    </message>
</context>
<context>
    <name>HeldPort</name>
    <message>
        <source>端口 %1 被其他程序占用，请关闭该程序后再测试</source>
        <translation>Port %1 is in use by another program; close that program and test again</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>单步测试结果</source>
        <translation>Result</translation>
    </message>
    <message>
        <source>测试成功，请拔掉手环
一定要重新拔插手环，再做测试</source>
        <translation>Test passed. Unplug the band.
Always unplug and plug in the band again before the next test.</translation>
    </message>
    <message>
        <source>测试失败，请拔掉手环
多次失败，请拔插手环并重启本程序</source>
        <translation>Test failed. Unplug the band.
If it fails again and again, plug the band in again and restart this program.</translation>
    </message>
    <message>
        <source>失败</source>
        <translation>Failed</translation>
    </message>
    <message>
        <source>端口无效</source>
        <translation>No band port</translation>
    </message>
    <message>
        <source>无法打开或处理def.xml</source>
        <translation>Cannot open or process def.xml</translation>
    </message>
</context>
<context>
    <name>MultiTestWindow</name>
    <message>
        <source>全部开始</source>
        <translation>Start all</translation>
    </message>
    <message>
        <source>插入手环即开始测试</source>
        <translation>Each band is tested as soon as it is plugged in</translation>
    </message>
    <message>
        <source>插入手环后按开始测试</source>
        <translation>Plug in the bands, then press Start</translation>
    </message>
    <message>
        <source>手环多于面板: %1 个手环未显示</source>
        <translation>More bands than panels: %1 band(s) not shown</translation>
    </message>
    <message>
        <source>请拔掉手环</source>
        <translation>Unplug the band</translation>
    </message>
    <message>
        <source>失败: %1</source>
        <translation>Failed: %1</translation>
    </message>
    <message>
        <source>无法打开或处理def.xml: %1</source>
        <translation>Cannot open or process def.xml: %1</translation>
    </message>
    <message>
        <source>全部手环已有结果，请拔下手环，再插入新手环</source>
        <translation>Every band has its result: unplug the bands, then plug in new ones</translation>
    </message>
</context>
<context>
    <name>RecordStatus</name>
    <message>
        <source>记录未保存: %1</source>
        <translation>Record not saved: %1</translation>
    </message>
    <message>
        <source>站点设置有误: %1</source>
        <translation>Station settings are wrong: %1</translation>
    </message>
    <message>
        <source>记录服务器 %1 的连接未经验证（station.ini 中没有 [database] ca=）</source>
        <translation>The connection to the records server %1 is not verified (no [database] ca= in station.ini)</translation>
    </message>
</context>
<context>
    <name>SimulatedBand</name>
    <message>
        <source>[模拟手环]</source>
        <translation>[simulated band]</translation>
    </message>
</context>
<context>
    <name>StationProblem</name>
    <message>
        <source>station.ini 不是设置文件 (%1)</source>
        <translation>station.ini is not a settings file (%1)</translation>
    </message>
    <message>
        <source>station.ini 含有服务器密码，本机其他用户可以读取它 (%1)</source>
        <translation>station.ini holds the server&apos;s password and other users of this computer can read it (%1)</translation>
    </message>
    <message>
        <source>station.ini: [database] url 不是 %1 的形式</source>
        <translation>station.ini: [database] url is not %1</translation>
    </message>
    <message>
        <source>station.ini: [station] autostart=%1 不是 true 或 false，手环等待按键开始</source>
        <translation>station.ini: [station] autostart=%1 is not true or false; bands wait for a press</translation>
    </message>
    <message>
        <source>station.ini: [station] name 含有逗号，请把名称写在双引号中</source>
        <translation>station.ini: [station] name has a comma; put the name in double quotes</translation>
    </message>
    <message>
        <source>station.ini: [station] slots=%1 不是 1 到 %2 的数字，现只用一个面板</source>
        <translation>station.ini: [station] slots=%1 is not a number from 1 to %2; one slot is used</translation>
    </message>
    <message>
        <source>station.ini: 未知的设置 %1</source>
        <translation>station.ini: unknown setting %1</translation>
    </message>
</context>
<context>
    <name>Tester</name>
    <message>
        <source>[打开串口]</source>
        <translation>[Open port]</translation>
    </message>
    <message>
        <source>1.读取版本</source>
        <translation>1.Read version</translation>
    </message>
    <message>
        <source>2.设置时间</source>
        <translation>2.Set time</translation>
    </message>
    <message>
        <source>3.读取时间</source>
        <translation>3.Read time</translation>
    </message>
    <message>
        <source>4.设置LED</source>
        <translation>4.Set LED</translation>
    </message>
    <message>
        <source>5.读取LED</source>
        <translation>5.Read LED</translation>
    </message>
    <message>
        <source>6.设置参数</source>
        <translation>6.Write settings</translation>
    </message>
    <message>
        <source>7.读取参数</source>
        <translation>7.Read settings</translation>
    </message>
    <message>
        <source>8.设置闹钟</source>
        <translation>8.Set alarm</translation>
    </message>
    <message>
        <source>9.读取闹钟</source>
        <translation>9.Read alarm</translation>
    </message>
    <message>
        <source>0.重新启动</source>
        <translation>0.Restart</translation>
    </message>
    <message>
        <source>[关闭串口]</source>
        <translation>[Close port]</translation>
    </message>
    <message>
        <source>测试工具</source>
        <translation>Band tester</translation>
    </message>
    <message>
        <source>开始测试</source>
        <translation>Start test</translation>
    </message>
    <message>
        <source>模拟手环，非真实测试</source>
        <translation>[simulated band]</translation>
    </message>
</context>
</TS>
