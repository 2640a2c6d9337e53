<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="sk">
    <context>
        <name>DiagnosticMenu</name>
        <message>
            <source>&amp;BrowseLogs</source>
            <translation>&amp;Prezerať záznamy</translation>
        </message>
        <message>
            <source>&amp;DiagTitle</source>
            <translation>&amp;Diagnostika</translation>
        </message>
        <message>
            <source>&amp;LogsOff</source>
            <translation>&amp;Vypnúť záznam</translation>
        </message>
        <message>
            <source>&amp;LogsOn</source>
            <translation>&amp;Zapnúť záznam</translation>
        </message>
        <message>
            <source>&amp;NoLogs</source>
            <translation>Zatiaľ neexistujú žiadne záznamy. Najprv zapnite zaznamenávanie.</translation>
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
            <translation>&amp;Skontrolovať aktualizácie</translation>
        </message>
        <message>
            <source>&amp;Quit</source>
            <translation>&amp;Ukončiť</translation>
        </message>
        <message>
            <source>Quillmark</source>
            <translation>Quillmark</translation>
        </message>
    </context>
</TS>
