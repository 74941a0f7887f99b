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
    <name>BurnLooks</name>
    <message>
        <source>复位中</source>
        <translation>Resetting</translation>
    </message>
    <message>
        <source>等待升级模式</source>
        <translation>Waiting for upgrade mode</translation>
    </message>
    <message>
        <source>正在烧录，请勿拔出手环</source>
        <translation>Burning, do not unplug the band</translation>
    </message>
    <message>
        <source>等待手环重启</source>
        <translation>Waiting for the band to restart</translation>
    </message>
    <message>
        <source>版本 %1，请拔下手环</source>
        <translation>Version %1, unplug the band</translation>
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
        <source>手环没有进入升级模式</source>
        <translation>The band did not enter upgrade mode</translation>
    </message>
    <message>
        <source>烧录失败</source>
        <translation>Burn failed</translation>
    </message>
    <message>
        <source>回来的不是烧录的手环</source>
        <translation>Another band came back, not the one burned</translation>
    </message>
    <message>
        <source>烧录后手环没有正常重启</source>
        <translation>The band did not restart properly after the burn</translation>
    </message>
    <message>
        <source>[模拟手环]</source>
        <translation>[simulated band]</translation>
    </message>
    <message>
        <source>正在烧录</source>
        <translation>Burning</translation>
    </message>
    <message>
        <source>正在烧录。现在关闭窗口，手环将没有固件。
仍然关闭吗?</source>
        <translation>A burn is running. Closing the window now leaves the band without firmware.
Close anyway?</translation>
    </message>
</context>
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
        <source>请连接手环到电脑.</source>
        <translation>Connect the band to the computer.</translation>
    </message>
    <message>
        <source>请点击复位按钮.</source>
        <translation>Press the Reset button.</translation>
    </message>
    <message>
        <source>复位成功，手环正在进入升级模式，请稍候.</source>
        <translation>Reset done: the band is entering upgrade mode, please wait.</translation>
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
        <source>复位失败，请重新连接手环到电脑.</source>
        <translation>Reset failed, reconnect the band to the computer.</translation>
    </message>
    <message>
        <source>端口通信失败</source>
        <translation>Port communication failed</translation>
    </message>
    <message>
        <source>手环没有进入升级模式，请重新连接手环到电脑.</source>
        <translation>The band did not enter upgrade mode, reconnect it to the computer.</translation>
    </message>
    <message>
        <source>正在烧录，请勿拔出手环.</source>
        <translation>Burning, do not unplug the band.</translation>
    </message>
    <message>
        <source>烧录成功，请等待手环震动重启.</source>
        <translation>Burn succeeded, wait for the band to vibrate and restart.</translation>
    </message>
    <message>
        <source>烧录失败，请重新连接手环到电脑.</source>
        <translation>Burn failed, reconnect the band to the computer.</translation>
    </message>
    <message>
        <source>烧录失败: %1</source>
        <translation>Burn failed: %1</translation>
    </message>
    <message>
        <source>请重新连接手环到电脑.</source>
        <translation>Reconnect the band to the computer.</translation>
    </message>
    <message>
        <source>烧录成功，手环已重启，版本 %1.
请拔下手环.</source>
        <translation>Burn succeeded, the band restarted with version %1.
Unplug the band.</translation>
    </message>
    <message>
        <source>烧录后手环没有正常重启，请重新连接手环到电脑.</source>
        <translation>The band did not come back after the burn, reconnect it to the computer.</translation>
    </message>
    <message>
        <source>工位问题，修复后按复位:
%1</source>
        <translation>Station problem, fix it and press Reset:
%1</translation>
    </message>
    <message>
        <source>请点击烧录按钮.</source>
        <translation>Press the Burn button.</translation>
    </message>
    <message>
        <source>失败</source>
        <translation>Failed</translation>
    </message>
    <message>
        <source>错误</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>无法监视USB设备，烧录工具不能运行.</source>
        <translation>Cannot watch USB devices, the burner cannot run.</translation>
    </message>
</context>
<context>
    <name>MultiBurnWindow</name>
    <message>
        <source>烧录</source>
        <translation>Burn</translation>
    </message>
    <message>
        <source>全部开始</source>
        <translation>Start all</translation>
    </message>
    <message>
        <source>烧录工具</source>
        <translation>Burning Tool</translation>
    </message>
    <message>
        <source>工位问题，修复后重试: %1</source>
        <translation>Station problem, fix it and try again: %1</translation>
    </message>
    <message>
        <source>手环多于面板: %1 个手环未显示</source>
        <translation>More bands than panels: %1 band(s) not shown</translation>
    </message>
    <message>
        <source>插入手环即开始烧录</source>
        <translation>Each band is burned as soon as it is plugged in</translation>
    </message>
    <message>
        <source>插入手环后按烧录</source>
        <translation>Plug in the bands, then press Burn</translation>
    </message>
    <message>
        <source>全部手环烧录成功，请拔下手环，再插入新手环</source>
        <translation>Every band burned: unplug the bands, then plug in new ones</translation>
    </message>
    <message>
        <source>全部手环已有结果: 请拔下手环，失败的手环可按烧录重试</source>
        <translation>Every band has its result: unplug the bands; a failed one can be burned again with its button</translation>
    </message>
    <message>
        <source>%1 个手环正在烧录，请勿拔出</source>
        <translation>%1 band(s) burning, do not unplug them</translation>
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
        <source>找不到 %1</source>
        <translation>%1 not found</translation>
    </message>
    <message>
        <source>%1 无法使用: %2</source>
        <translation>%1 cannot be used: %2</translation>
    </message>
    <message>
        <source>找不到文件夹 %1</source>
        <translation>Folder %1 not found</translation>
    </message>
    <message>
        <source>无法读取 %1: %2</source>
        <translation>Cannot read %1: %2</translation>
    </message>
    <message>
        <source>%1 是空文件</source>
        <translation>%1 is empty</translation>
    </message>
    <message>
        <source>文件不存在</source>
        <translation>no such file</translation>
    </message>
    <message>
        <source>无法打开: %1</source>
        <translation>cannot open it: %1</translation>
    </message>
    <message>
        <source>第 %1 行: %2</source>
        <translation>line %1: %2</translation>
    </message>
    <message>
        <source>文件为空或不是XML文件</source>
        <translation>the file is empty or not XML</translation>
    </message>
    <message>
        <source>文件中没有元素</source>
        <translation>no element in it</translation>
    </message>
    <message>
        <source>无法读取 QAT_DEF</source>
        <translation>Failed to read QAT_DEF</translation>
    </message>
    <message>
        <source>%1 的名称为空</source>
        <translation>the name of %1 is empty</translation>
    </message>
    <message>
        <source>%1 的名称不安全: %2</source>
        <translation>unsafe name of %1: %2</translation>
    </message>
    <message>
        <source>没有 %1 的名称</source>
        <translation>no name of %1</translation>
    </message>
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
</TS>
