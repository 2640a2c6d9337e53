<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
    <context>
        <name>AuthenticationForm</name>
        <message>
            <source>Cancel</source>
            <translation>Cancel</translation>
        </message>
        <message>
            <source>OK</source>
            <translation>OK</translation>
        </message>
        <message>
            <source>Password</source>
            <translation>Password</translation>
        </message>
        <message>
            <source>Proxy authentication</source>
            <translation>Proxy authentication</translation>
        </message>
        <message>
            <source>Quillmark Updater</source>
            <translation>Quillmark Updater</translation>
        </message>
        <message>
            <source>Username</source>
            <translation>Username</translation>
        </message>
    </context>
    <context>
        <name>QObject</name>
        <message>
            <source>AppToUpdate</source>
            <translation>Quillmark</translation>
        </message>
        <message>
            <source>Cancel</source>
            <translation>Cancel</translation>
        </message>
        <message>
            <source>ConfigError</source>
            <translation>The updater configuration is missing or damaged.</translation>
        </message>
        <message>
            <source>DownloadLater</source>
            <translation>Later</translation>
        </message>
        <message>
            <source>DownloadNowGui</source>
            <translation>Download and install</translation>
        </message>
        <message>
            <source>DownloadingData</source>
            <translation>Downloading...</translation>
        </message>
        <message>
            <source>DownloadingError</source>
            <translation>Downloading failed. Check your internet connection and try again later.</translation>
        </message>
        <message>
            <source>InstallNow?</source>
            <translation>Install now? </translation>
        </message>
        <message>
            <source>InstallerNotStarted</source>
            <translation>The installer could not be started.</translation>
        </message>
        <message>
            <source>LatestVersion</source>
            <translation>You have the latest version of %1.</translation>
        </message>
        <message>
            <source>LookingForVersion</source>
            <translation>Looking for a new version...</translation>
        </message>
        <message>
            <source>NewVersion.</source>
            <translation>A new version %1 is available.</translation>
        </message>
        <message>
            <source>Note</source>
            <translation>Note</translation>
        </message>
        <message>
            <source>NoteInfo</source>
            <translation>What is new is described at</translation>
        </message>
        <message>
            <source>Ok</source>
            <translation>OK</translation>
        </message>
        <message>
            <source>ProxyAuth</source>
            <translation>The proxy server asks for your credentials.</translation>
        </message>
        <message>
            <source>ResponseError</source>
            <translation>The update server sent an unusable answer.</translation>
        </message>
        <message>
            <source>SaveError</source>
            <translation>The downloaded installer could not be saved.</translation>
        </message>
        <message>
            <source>ShortNo</source>
            <translation>n</translation>
        </message>
        <message>
            <source>ShortYes</source>
            <translation>y</translation>
        </message>
        <message>
            <source>VerificationFailed</source>
            <translation>The downloaded file could not be verified and was not used.</translation>
        </message>
        <message>
            <source>password:</source>
            <translation>password: </translation>
        </message>
        <message>
            <source>username:</source>
            <translation>username: </translation>
        </message>
    </context>
    <context>
        <name>UpdaterDialog</name>
        <message>
            <source>Cancel</source>
            <translation>Cancel</translation>
        </message>
        <message>
            <source>Ok</source>
            <translation>OK</translation>
        </message>
        <message>
            <source>Updater</source>
            <translation>Updater</translation>
        </message>
    </context>
    <context>
        <name>main</name>
        <message>
            <source>Run console version of updater without displaying errors.</source>
            <translation>Run console version of updater without displaying errors.</translation>
        </message>
        <message>
            <source>Run console version of updater.</source>
            <translation>Run console version of updater.</translation>
        </message>
        <message>
            <source>Run updater with graphic interface.</source>
            <translation>Run updater with graphic interface.</translation>
        </message>
        <message>
            <source>Set &lt;language&gt; of application.[en,sk]</source>
            <translation>Set &lt;language&gt; of application.[en,sk]</translation>
        </message>
    </context>
</TS>
