<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
    <context>
        <name>DiagnosticMenu</name>
        <message>
            <source>&amp;BrowseLogs</source>
            <translation>&amp;Browse logs</translation>
        </message>
        <message>
            <source>&amp;DiagTitle</source>
            <translation>&amp;Diagnostics</translation>
        </message>
        <message>
            <source>&amp;LogsOff</source>
            <translation>Turn logging &amp;off</translation>
        </message>
        <message>
            <source>&amp;LogsOn</source>
            <translation>Turn logging &amp;on</translation>
        </message>
        <message>
            <source>&amp;NoLogs</source>
            <translation>There are no logs yet. Turn logging on first.</translation>
        </message>
        <message>
            <source>Quillmark</source>
            <translation>Quillmark</translation>
        </message>
    </context>
    <context>
        <name>QuillmarkTray</name>
        <message>
            <source>&amp;CheckVersion</source>
            <translation>&amp;Check for updates</translation>
        </message>
        <message>
            <source>&amp;Quit</source>
            <translation>&amp;Quit</translation>
        </message>
        <message>
            <source>Quillmark</source>
            <translation>Quillmark</translation>
        </message>
    </context>
</TS>
