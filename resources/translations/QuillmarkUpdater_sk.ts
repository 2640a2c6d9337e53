<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="sk">
    <context>
        <name>AuthenticationForm</name>
        <message>
            <source>Cancel</source>
            <translation>Zrušiť</translation>
        </message>
        <message>
            <source>OK</source>
            <translation>OK</translation>
        </message>
        <message>
            <source>Password</source>
            <translation>Heslo</translation>
        </message>
        <message>
            <source>Proxy authentication</source>
            <translation>Overenie na proxy serveri</translation>
        </message>
        <message>
            <source>Quillmark Updater</source>
            <translation>Aktualizátor Quillmark</translation>
        </message>
        <message>
            <source>Username</source>
            <translation>Používateľské meno</translation>
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
            <translation>Zrušiť</translation>
        </message>
        <message>
            <source>ConfigError</source>
            <translation>Konfigurácia aktualizátora chýba alebo je poškodená.</translation>
        </message>
        <message>
            <source>DownloadLater</source>
            <translation>Neskôr</translation>
        </message>
        <message>
            <source>DownloadNowGui</source>
            <translation>Stiahnuť a nainštalovať</translation>
        </message>
        <message>
            <source>DownloadingData</source>
            <translation>Sťahuje sa...</translation>
        </message>
        <message>
            <source>DownloadingError</source>
            <translation>Sťahovanie zlyhalo. Skontrolujte pripojenie na internet a skúste to neskôr.</translation>
        </message>
        <message>
            <source>InstallNow?</source>
            <translation>Nainštalovať teraz? </translation>
        </message>
        <message>
            <source>InstallerNotStarted</source>
            <translation>Inštalátor sa nepodarilo spustiť.</translation>
        </message>
        <message>
            <source>LatestVersion</source>
            <translation>Máte najnovšiu verziu aplikácie %1.</translation>
        </message>
        <message>
            <source>LookingForVersion</source>
            <translation>Hľadá sa nová verzia...</translation>
        </message>
        <message>
            <source>NewVersion.</source>
            <translation>Je k dispozícii nová verzia %1.</translation>
        </message>
        <message>
            <source>Note</source>
            <translation>Poznámka</translation>
        </message>
        <message>
            <source>NoteInfo</source>
            <translation>Čo je nové, nájdete na</translation>
        </message>
        <message>
            <source>Ok</source>
            <translation>OK</translation>
        </message>
        <message>
            <source>ProxyAuth</source>
            <translation>Proxy server vyžaduje prihlasovacie údaje.</translation>
        </message>
        <message>
            <source>ResponseError</source>
            <translation>Aktualizačný server poslal nepoužiteľnú odpoveď.</translation>
        </message>
        <message>
            <source>SaveError</source>
            <translation>Stiahnutý inštalátor sa nepodarilo uložiť.</translation>
        </message>
        <message>
            <source>ShortNo</source>
            <translation>n</translation>
        </message>
        <message>
            <source>ShortYes</source>
            <translation>a</translation>
        </message>
        <message>
            <source>VerificationFailed</source>
            <translation>Stiahnutý súbor sa nepodarilo overiť a nebol použitý.</translation>
        </message>
        <message>
            <source>password:</source>
            <translation>heslo: </translation>
        </message>
        <message>
            <source>username:</source>
            <translation>používateľské meno: </translation>
        </message>
    </context>
    <context>
        <name>UpdaterDialog</name>
        <message>
            <source>Cancel</source>
            <translation>Zrušiť</translation>
        </message>
        <message>
            <source>Ok</source>
            <translation>OK</translation>
        </message>
        <message>
            <source>Updater</source>
            <translation>Aktualizátor</translation>
        </message>
    </context>
    <context>
        <name>main</name>
        <message>
            <source>Run console version of updater without displaying errors.</source>
            <translation>Spustí konzolovú verziu aktualizátora bez zobrazenia chýb.</translation>
        </message>
        <message>
            <source>Run console version of updater.</source>
            <translation>Spustí konzolovú verziu aktualizátora.</translation>
        </message>
        <message>
            <source>Run updater with graphic interface.</source>
            <translation>Spustí aktualizátor s grafickým rozhraním.</translation>
        </message>
        <message>
            <source>Set &lt;language&gt; of application.[en,sk]</source>
            <translation>Nastaví jazyk &lt;language&gt; aplikácie.[en,sk]</translation>
        </message>
    </context>
</TS>
