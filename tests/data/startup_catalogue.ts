<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<!-- A one-entry catalogue that the start-up tests install as OTHER.qm. -->
<TS version="2.1" language="zh_CN">
<context>
    <name>Widget</name>
    <message>
        <source>Connect</source>
        <translation>连接</translation>
    </message>
</context>
</TS>
