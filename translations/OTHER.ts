<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>BrokerPublishing</name>
    <message>
        <source>MQTT: the meter name must not hold /, + or #</source>
        <translation>MQTT：仪表名称不能包含 /、+ 或 #</translation>
    </message>
    <message>
        <source>MQTT: %1</source>
        <translation>MQTT：%1</translation>
    </message>
    <message>
        <source>Publishing to %1 as %2</source>
        <translation>正在以 %2 的名称发布到 %1</translation>
    </message>
    <message>
        <source>MQTT broker %1 not reachable: %2; trying again</source>
        <translation>无法连接 MQTT 代理服务器 %1：%2；正在重试</translation>
    </message>
    <message>
        <source>The MQTT broker refused the login: %1</source>
        <translation>MQTT 代理服务器拒绝登录：%1</translation>
    </message>
    <message>
        <source>MQTT connection to %1 lost: %2; trying again</source>
        <translation>与 MQTT 代理服务器 %1 的连接已断开：%2；正在重试</translation>
    </message>
</context>
<context>
    <name>HidBridgeLink</name>
    <message>
        <source>Install the udev rule (sudo cp udev/70-klm704.rules /etc/udev/rules.d/), run &quot;sudo udevadm control --reload-rules &amp;&amp; sudo udevadm trigger&quot;, then unplug the cable and plug it in again.</source>
        <translation>请安装 udev 规则（sudo cp udev/70-klm704.rules /etc/udev/rules.d/），运行“sudo udevadm control --reload-rules &amp;&amp; sudo udevadm trigger”，然后拔下数据线再重新插上。</translation>
    </message>
    <message>
        <source>No %1 meter cable found (USB ID %2); plug in the meter&apos;s USB cable.</source>
        <translation>未找到 %1 仪表数据线（USB ID %2）；请插上仪表的 USB 数据线。</translation>
    </message>
    <message>
        <source>The %1 meter cable (USB ID %2) has no interface for the meter&apos;s data; unplug it and plug it in again.</source>
        <translation>%1 仪表数据线（USB ID %2）没有仪表数据接口；请拔下后重新插上。</translation>
    </message>
    <message>
        <source>The %1 meter cable at %2 refused its settings: %3. Unplug the cable and plug it in again.</source>
        <translation>位于 %2 的 %1 仪表数据线拒绝了设置：%3。请拔下数据线再重新插上。</translation>
    </message>
    <message>
        <source>The %1 meter cable at %2 cannot be opened: permission denied. %3</source>
        <translation>无法打开位于 %2 的 %1 仪表数据线：权限不足。%3</translation>
    </message>
    <message>
        <source>The %1 meter cable at %2 is in use by another program; close that program, or unplug the cable and plug it in again.</source>
        <translation>位于 %2 的 %1 仪表数据线正被其他程序使用；请关闭该程序，或拔下数据线再重新插上。</translation>
    </message>
    <message>
        <source>The %1 meter cable at %2 cannot be opened (%3). Unplug the cable and plug it in again. If that does not help: %4</source>
        <translation>无法打开位于 %2 的 %1 仪表数据线（%3）。请拔下数据线再重新插上。如果仍不行：%4</translation>
    </message>
</context>
<context>
    <name>Journal</name>
    <message>
        <source>Cannot create the journal %1: %2</source>
        <translation>无法创建记录日志 %1：%2</translation>
    </message>
    <message>
        <source>only part of the line was written</source>
        <translation>该行只写入了一部分</translation>
    </message>
    <message>
        <source>Cannot write the journal %1: %2</source>
        <translation>无法写入记录日志 %1：%2</translation>
    </message>
    <message>
        <source>Cannot continue the journal %1: %2</source>
        <translation>无法继续写入记录日志 %1：%2</translation>
    </message>
    <message>
        <source>Removed the journal %1 (%2 bytes) to keep the journals within %3 bytes.</source>
        <translation>已删除日志 %1（%2 字节），使日志总量不超过 %3 字节。</translation>
    </message>
    <message>
        <source>Removed 1 old journal, %1, to keep the journals within %2.</source>
        <translation>已删除 1 个旧日志，共 %1，使日志总量不超过 %2。</translation>
    </message>
    <message>
        <source>Removed %1 old journals, %2, to keep the journals within %3.</source>
        <translation>已删除 %1 个旧日志，共 %2，使日志总量不超过 %3。</translation>
    </message>
    <message>
        <source>Cannot create the journal folder %1: %2</source>
        <translation>无法创建记录日志文件夹 %1：%2</translation>
    </message>
    <message>
        <source>the folder cannot be reached</source>
        <translation>无法访问该文件夹</translation>
    </message>
</context>
<context>
    <name>LinkFactory</name>
    <message>
        <source>No CH9329 or CP2110 meter cable found; plug in the meter&apos;s USB cable (USB ID %1:%2 or %3:%4), or try the virtual meter with --device sim.</source>
        <translation>未找到 CH9329 或 CP2110 仪表数据线；请插上仪表的 USB 数据线（USB ID %1:%2 或 %3:%4），或用 --device sim 试用虚拟仪表。</translation>
    </message>
</context>
<context>
    <name>LinkSupervisor</name>
    <message>
        <source>%1: open</source>
        <translation>%1：已连接</translation>
    </message>
    <message>
        <source>%1: meter not answering</source>
        <translation>%1：仪表无应答</translation>
    </message>
    <message>
        <source>%1: lost at %2</source>
        <translation>%1：于 %2 断开</translation>
    </message>
    <message>
        <source>%1: lost at %2, trying again every 2 s</source>
        <translation>%1：于 %2 断开，每 2 秒重试</translation>
    </message>
    <message>
        <source>%1: closed</source>
        <translation>%1：已断开</translation>
    </message>
    <message>
        <source>The meter does not answer: is it switched on, in the right mode, on this port?</source>
        <translation>仪表无应答：请检查仪表是否已开机、处于正确模式、连接在此端口上。</translation>
    </message>
</context>
<context>
    <name>MqttClient</name>
    <message>
        <source>Cannot create the MQTT client</source>
        <translation>无法创建 MQTT 客户端</translation>
    </message>
    <message>
        <source>Cannot set up the MQTT client: %1</source>
        <translation>无法设置 MQTT 客户端：%1</translation>
    </message>
    <message>
        <source>no answer from the broker within %1 s</source>
        <translation>代理服务器在 %1 秒内没有应答</translation>
    </message>
    <message>
        <source>the broker closed the connection</source>
        <translation>代理服务器关闭了连接</translation>
    </message>
    <message>
        <source>TLS error: %1</source>
        <translation>TLS 错误：%1</translation>
    </message>
</context>
<context>
    <name>MqttTls</name>
    <message>
        <source>Cannot set up TLS</source>
        <translation>无法设置 TLS</translation>
    </message>
    <message>
        <source>Cannot read the system&apos;s certificate authorities</source>
        <translation>无法读取系统的证书颁发机构</translation>
    </message>
    <message>
        <source>Cannot read the certificate authority %1: %2</source>
        <translation>无法读取证书颁发机构 %1：%2</translation>
    </message>
    <message>
        <source>the broker&apos;s certificate is for %1, not %2</source>
        <translation>代理服务器的证书属于 %1，而不是 %2</translation>
    </message>
    <message>
        <source>certificate verify failed: %1</source>
        <translation>证书验证失败：%1</translation>
    </message>
    <message>
        <source>%1 (the certificate authority &quot;%2&quot; is not trusted here)</source>
        <translation>%1（此处不信任证书颁发机构“%2”）</translation>
    </message>
</context>
<context>
    <name>OptionDialog</name>
    <message>
        <source>Infinite</source>
        <translation>无限</translation>
    </message>
    <message>
        <source>Ok</source>
        <translation>确定</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Options</source>
        <translation>选项</translation>
    </message>
    <message>
        <source>English</source>
        <translation>英文</translation>
    </message>
    <message>
        <source>Chinese</source>
        <translation>中文</translation>
    </message>
    <message>
        <source>Language</source>
        <translation>语言</translation>
    </message>
    <message>
        <source>Sample points</source>
        <translation>采样点数</translation>
    </message>
    <message>
        <source>Sample rate</source>
        <translation>采样间隔</translation>
    </message>
    <message>
        <source>Skip repeat reading</source>
        <translation>跳过重复读数</translation>
    </message>
    <message>
        <source>Please restart application for translation to take effect.</source>
        <translation>请重新启动程序，新的语言设置才会生效。</translation>
    </message>
    <message>
        <source>Reconnect a lost link</source>
        <translation>自动重新连接</translation>
    </message>
    <message>
        <source>MQTT broker</source>
        <translation>MQTT 代理服务器</translation>
    </message>
    <message>
        <source>mqtt://host/prefix; empty: off</source>
        <translation>mqtt://主机/前缀；留空：关闭</translation>
    </message>
    <message>
        <source>Meter name</source>
        <translation>仪表名称</translation>
    </message>
    <message>
        <source>Low limit</source>
        <translation>下限</translation>
    </message>
    <message>
        <source>High limit</source>
        <translation>上限</translation>
    </message>
    <message>
        <source>The low limit is above the high limit: every reading would raise an alarm.</source>
        <translation>下限高于上限：每个读数都会触发报警。</translation>
    </message>
</context>
<context>
    <name>RecordingReader</name>
    <message>
        <source>a double quote is out of place</source>
        <translation>双引号位置不正确</translation>
    </message>
    <message>
        <source>the line is too long for a recording</source>
        <translation>该行过长，不是记录数据</translation>
    </message>
    <message>
        <source>the header line is incomplete</source>
        <translation>标题行不完整</translation>
    </message>
    <message>
        <source>the line has %1 fields where a recording has %2</source>
        <translation>该行有 %1 个字段，而记录应有 %2 个</translation>
    </message>
    <message>
        <source>the file is empty</source>
        <translation>文件为空</translation>
    </message>
    <message>
        <source>the header is not that of a recording (%1)</source>
        <translation>标题行不是记录数据的标题行（%1）</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is not a date and time</source>
        <translation>“%1”不是日期和时间</translation>
    </message>
    <message>
        <source>the meter has no function &quot;%1&quot; with range &quot;%2&quot; and unit &quot;%3&quot;</source>
        <translation>仪表没有量程为“%2”、单位为“%3”的功能“%1”</translation>
    </message>
    <message>
        <source>the function changes from %1 to %2; a recording holds one function</source>
        <translation>功能从 %1 变为 %2；一份记录只能包含一种功能</translation>
    </message>
    <message>
        <source>the file ended early: it was changed or removed while it was read</source>
        <translation>文件提前结束：读取期间文件被修改或删除</translation>
    </message>
    <message>
        <source>the value &quot;%1&quot; is longer than the meter&apos;s display of %2 characters</source>
        <translation>数值“%1”超出了仪表显示屏的 %2 个字符</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is not a value the meter can show</source>
        <translation>“%1”不是仪表能够显示的数值</translation>
    </message>
</context>
<context>
    <name>SerialLink</name>
    <message>
        <source>%1 does not take %2 baud 8N1: %3</source>
        <translation>%1 不支持 %2 波特 8N1：%3</translation>
    </message>
    <message>
        <source>Serial port %1 not found; check the path, or plug in the adapter.</source>
        <translation>未找到串口 %1；请检查路径，或插上适配器。</translation>
    </message>
    <message>
        <source>Serial port %1 cannot be opened: %2. It may be in use by another program, or you may lack the right to use it: add yourself to the group of the port (usually dialout: sudo usermod -aG dialout $USER) and log in again.</source>
        <translation>无法打开串口 %1：%2。它可能正被其他程序使用，或者您没有使用它的权限：请把自己加入该串口的用户组（通常是 dialout：sudo usermod -aG dialout $USER），然后重新登录。</translation>
    </message>
    <message>
        <source>Serial port %1 cannot be opened: %2</source>
        <translation>无法打开串口 %1：%2</translation>
    </message>
</context>
<context>
    <name>SimLink</name>
    <message>
        <source>The virtual meter&apos;s cable is unplugged.</source>
        <translation>虚拟仪表的数据线已拔下。</translation>
    </message>
</context>
<context>
    <name>StatisticsLine</name>
    <message>
        <source>n %1</source>
        <translation>个数 %1</translation>
    </message>
    <message>
        <source>min %1</source>
        <translation>最小 %1</translation>
    </message>
    <message>
        <source>max %1</source>
        <translation>最大 %1</translation>
    </message>
    <message>
        <source>mean %1</source>
        <translation>平均 %1</translation>
    </message>
    <message>
        <source>sd %1</source>
        <translation>标准差 %1</translation>
    </message>
    <message>
        <source>span %1</source>
        <translation>时长 %1</translation>
    </message>
    <message>
        <source>overloads %1</source>
        <translation>过载 %1</translation>
    </message>
    <message>
        <source>alarms %1</source>
        <translation>报警 %1</translation>
    </message>
    <message>
        <source>Zoomed: %1</source>
        <translation>缩放区间：%1</translation>
    </message>
</context>
<context>
    <name>TablePrinter</name>
    <message>
        <source>Preparing the pages …</source>
        <translation>正在准备页面 …</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
</context>
<context>
    <name>Widget</name>
    <message>
        <source>Toolbar</source>
        <translation>工具栏</translation>
    </message>
    <message>
        <source>Command</source>
        <translation>命令</translation>
    </message>
    <message>
        <source>Chart</source>
        <translation>图表</translation>
    </message>
    <message>
        <source>LCD</source>
        <translation>液晶屏</translation>
    </message>
    <message>
        <source>Record</source>
        <translation>记录</translation>
    </message>
    <message>
        <source>Connect</source>
        <translation>连接</translation>
    </message>
    <message>
        <source>Disconnect</source>
        <translation>断开</translation>
    </message>
    <message>
        <source>Options</source>
        <translation>选项</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>关闭</translation>
    </message>
    <message>
        <source>About</source>
        <translation>关于</translation>
    </message>
    <message>
        <source>Documentation</source>
        <translation>文档</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>删除</translation>
    </message>
    <message>
        <source>Print</source>
        <translation>打印</translation>
    </message>
    <message>
        <source>Export</source>
        <translation>导出</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>开始</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>停止</translation>
    </message>
    <message>
        <source>Manual</source>
        <translation>手册</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>保存</translation>
    </message>
    <message>
        <source>Import</source>
        <translation>导入</translation>
    </message>
    <message>
        <source>Test</source>
        <translation>测试</translation>
    </message>
    <message>
        <source>Test1</source>
        <translation>测试1</translation>
    </message>
    <message>
        <source>Test2</source>
        <translation>测试2</translation>
    </message>
    <message>
        <source>Manual</source>
        <comment>meter range key</comment>
        <translation>手动</translation>
    </message>
    <message>
        <source>Auto</source>
        <translation>自动</translation>
    </message>
    <message>
        <source>Rel</source>
        <translation>相对值</translation>
    </message>
    <message>
        <source>Hz %</source>
        <translation>频率 %</translation>
    </message>
    <message>
        <source>Hold</source>
        <translation>保持</translation>
    </message>
    <message>
        <source>Light</source>
        <translation>背光</translation>
    </message>
    <message>
        <source>PEAK Max/Min
</source>
        <translation>峰值 最大/最小
</translation>
    </message>
    <message>
        <source>Exit PEAK Max/Min
</source>
        <translation>退出峰值 最大/最小
</translation>
    </message>
    <message>
        <source>Max/Min</source>
        <translation>最大/最小</translation>
    </message>
    <message>
        <source>Exit Max /Min
</source>
        <translation>退出 最大/最小
</translation>
    </message>
    <message>
        <source>Select</source>
        <translation>选择</translation>
    </message>
    <message>
        <source>Failed to open device.</source>
        <translation>打开设备失败。</translation>
    </message>
    <message>
        <source>Can not open file.</source>
        <translation>无法打开文件。</translation>
    </message>
    <message>
        <source>No.</source>
        <translation>序号</translation>
    </message>
    <message>
        <source>Date/Time</source>
        <translation>日期/时间</translation>
    </message>
    <message>
        <source>Function</source>
        <translation>功能</translation>
    </message>
    <message>
        <source>Range</source>
        <translation>量程</translation>
    </message>
    <message>
        <source>Value</source>
        <translation>数值</translation>
    </message>
    <message>
        <source>Unit</source>
        <translation>单位</translation>
    </message>
    <message>
        <source>Are you sure you want to delete this data?</source>
        <translation>确定要删除这些数据吗？</translation>
    </message>
    <message>
        <source>Export the data to a CSV file.</source>
        <translation>将数据导出为 CSV 文件。</translation>
    </message>
    <message>
        <source>The datas is exported successfully.<byte value="xd"/>
Do you want to open this file?</source>
        <translation>数据导出成功。<byte value="xd"/>
要打开这个文件吗？</translation>
    </message>
    <message>
        <source>The datas is exported failed.</source>
        <translation>数据导出失败。</translation>
    </message>
    <message>
        <source>Export the chart to a JPEG file.</source>
        <translation>将图表导出为 JPEG 文件。</translation>
    </message>
    <message>
        <source>Resume</source>
        <translation>继续</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>暂停</translation>
    </message>
    <message>
        <source>A recording can be opened only while the meter is disconnected. Disconnect now?</source>
        <translation>只有在仪表断开连接时才能打开记录。现在断开连接吗？</translation>
    </message>
    <message>
        <source>Open a recording from a CSV file.</source>
        <translation>从 CSV 文件打开记录。</translation>
    </message>
    <message>
        <source>Opening %1 …</source>
        <translation>正在打开 %1 …</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>The recording %1 cannot be opened.
Line %2: %3.</source>
        <translation>无法打开记录 %1。
第 %2 行：%3。</translation>
    </message>
    <message>
        <source>The recording %1 cannot be opened.
%2.</source>
        <translation>无法打开记录 %1。
%2。</translation>
    </message>
    <message>
        <source>The last line (line %1) of %2 is incomplete and was left out.</source>
        <translation>%2 的最后一行（第 %1 行）不完整，已略去。</translation>
    </message>
    <message>
        <source>The last recording (%1 readings, until %2) was not closed. Open it?</source>
        <translation>上次的记录（%1 个读数，截至 %2）未正常结束。要打开它吗？</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>文件(&amp;F)</translation>
    </message>
    <message>
        <source>&amp;Meter</source>
        <translation>仪表(&amp;M)</translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation>视图(&amp;V)</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>帮助(&amp;H)</translation>
    </message>
    <message>
        <source>The file does not exist.</source>
        <translation>文件不存在。</translation>
    </message>
    <message>
        <source>No program to open it was found.</source>
        <translation>没有找到可以打开它的程序。</translation>
    </message>
    <message>
        <source>Companion program for the %1 multimeter.</source>
        <translation>%1 万用表的配套程序。</translation>
    </message>
    <message>
        <source>Built with Qt %1, running with Qt %2.</source>
        <translation>使用 Qt %1 构建，运行于 Qt %2。</translation>
    </message>
    <message>
        <source>It uses these libraries under their licences:</source>
        <translation>本程序按各自的许可证使用以下库：</translation>
    </message>
    <message>
        <source>About %1</source>
        <translation>关于 %1</translation>
    </message>
    <message>
        <source>The chart image could not be saved.</source>
        <translation>无法保存图表图像。</translation>
    </message>
    <message>
        <source>Fit values</source>
        <translation>适配数值</translation>
    </message>
    <message>
        <source>Fit the value axis to the visible readings</source>
        <translation>使数值轴适配可见读数</translation>
    </message>
    <message>
        <source>Copy the figures</source>
        <translation>复制统计数据</translation>
    </message>
    <message>
        <source>The settings were not saved to %1: %2.</source>
        <translation>设置未保存到 %1：%2。</translation>
    </message>
    <message>
        <source>%1; the recording goes on without a journal</source>
        <translation>%1；记录将在没有记录日志的情况下继续</translation>
    </message>
    <message>
        <source>The recording goes on without a journal.</source>
        <translation>记录将在没有记录日志的情况下继续。</translation>
    </message>
    <message>
        <source>%1 is free software under the GNU General Public License, version 3 or any later version (GPL-3.0-or-later), and comes with no warranty.</source>
        <translation>%1 是自由软件，按 GNU 通用公共许可证第 3 版或（由您选择）任何更新的版本（GPL-3.0-or-later）发布，不提供任何担保。</translation>
    </message>
    <message>
        <source>Exporting to %1 …</source>
        <translation>正在导出到 %1 …</translation>
    </message>
</context>
<context>
    <name>WindowStatus</name>
    <message>
        <source>Reconnected at %1</source>
        <translation>已于 %1 重新连接</translation>
    </message>
    <message>
        <source>paused</source>
        <translation>已暂停</translation>
    </message>
    <message>
        <source>stopped: table full at %1 readings</source>
        <translation>已停止：表格已满（%1 条读数）</translation>
    </message>
    <message>
        <source>stopped: link closed</source>
        <translation>已停止：连接已断开</translation>
    </message>
    <message>
        <source>waiting for the meter</source>
        <translation>等待仪表应答</translation>
    </message>
    <message>
        <source>recording</source>
        <translation>正在记录</translation>
    </message>
    <message>
        <source>rows: %1</source>
        <translation>行数：%1</translation>
    </message>
    <message>
        <source>rows: %1 of %2</source>
        <translation>行数：%1 / %2</translation>
    </message>
    <message>
        <source>elapsed %1</source>
        <translation>已用时间 %1</translation>
    </message>
    <message>
        <source>Function changed to %1; the previous recording is kept in %2</source>
        <translation>功能已切换为 %1；之前的记录保存在 %2</translation>
    </message>
    <message>
        <source>Function changed to %1; the previous recording was cleared</source>
        <translation>功能已切换为 %1；之前的记录已清除</translation>
    </message>
    <message>
        <source>Function changed to %1</source>
        <translation>功能已切换为 %1</translation>
    </message>
    <message>
        <source>Table full at %1 readings; raise Sample points or press Delete to record more</source>
        <translation>表格已满（%1 条读数）；请增大采样点数或按删除以继续记录</translation>
    </message>
    <message>
        <source>Table full at %1 readings; the recording is kept in %2</source>
        <translation>表格已满（%1 条读数）；记录保存在 %2</translation>
    </message>
    <message>
        <source>recording without a journal</source>
        <translation>正在记录（无记录日志）</translation>
    </message>
</context>
</TS>
