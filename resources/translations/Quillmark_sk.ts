<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="sk">
    <context>
        <name>CertForm</name>
        <message>
            <source>&amp;Browse...</source>
            <translation>&amp;Prehľadávať...</translation>
        </message>
        <message>
            <source>&amp;Store:</source>
            <translation>Ú&amp;ložisko:</translation>
        </message>
        <message>
            <source>Cancel</source>
            <translation>Zrušiť</translation>
        </message>
        <message>
            <source>Certificates</source>
            <translation>Certifikáty</translation>
        </message>
        <message>
            <source>Details</source>
            <translation>Podrobnosti</translation>
        </message>
        <message>
            <source>Driver:</source>
            <translation>Ovládač:</translation>
        </message>
        <message>
            <source>OK</source>
            <translation>OK</translation>
        </message>
        <message>
            <source>Refresh</source>
            <translation>Obnoviť</translation>
        </message>
        <message>
            <source>Select signing certificate</source>
            <translation>Výber podpisového certifikátu</translation>
        </message>
    </context>
    <context>
        <name>CloseDialog</name>
        <message>
            <source>Do you really want to close the application without signing the document?</source>
            <translation>Naozaj chcete zatvoriť aplikáciu bez podpísania dokumentu?</translation>
        </message>
        <message>
            <source>No</source>
            <translation>Nie</translation>
        </message>
        <message>
            <source>Varnek Quillmark</source>
            <translation>Varnek Quillmark</translation>
        </message>
        <message>
            <source>Yes</source>
            <translation>Áno</translation>
        </message>
    </context>
    <context>
        <name>MainWindow</name>
        <message>
            <source>&amp;Close</source>
            <translation>&amp;Zavrieť</translation>
        </message>
        <message>
            <source>&amp;Sign</source>
            <translation>&amp;Podpísať</translation>
        </message>
        <message>
            <source>About</source>
            <translation>O aplikácii</translation>
        </message>
        <message>
            <source>Actual size</source>
            <translation>Skutočná veľkosť</translation>
        </message>
        <message>
            <source>Click to choose signing certificate</source>
            <translation>Kliknite a vyberte podpisový certifikát</translation>
        </message>
        <message>
            <source>Document is available only for viewing</source>
            <translation>Dokument je dostupný iba na prezeranie</translation>
        </message>
        <message>
            <source>Document page</source>
            <translation>Strana dokumentu</translation>
        </message>
        <message>
            <source>Fit to page</source>
            <translation>Prispôsobiť strane</translation>
        </message>
        <message>
            <source>Fit to width</source>
            <translation>Prispôsobiť šírke</translation>
        </message>
        <message>
            <source>Next page</source>
            <translation>Nasledujúca strana</translation>
        </message>
        <message>
            <source>Number of pages</source>
            <translation>Počet strán</translation>
        </message>
        <message>
            <source>Page number</source>
            <translation>Číslo strany</translation>
        </message>
        <message>
            <source>Previous page</source>
            <translation>Predchádzajúca strana</translation>
        </message>
        <message>
            <source>Varnek Quillmark</source>
            <translation>Varnek Quillmark</translation>
        </message>
        <message>
            <source>Zoom</source>
            <translation>Mierka</translation>
        </message>
        <message>
            <source>Zoom in</source>
            <translation>Priblížiť</translation>
        </message>
        <message>
            <source>Zoom out</source>
            <translation>Oddialiť</translation>
        </message>
    </context>
    <context>
        <name>MsgBox</name>
        <message>
            <source>Details</source>
            <translation>Podrobnosti</translation>
        </message>
    </context>
    <context>
        <name>PinForm</name>
        <message>
            <source>Cancel</source>
            <translation>Zrušiť</translation>
        </message>
        <message>
            <source>OK</source>
            <translation>OK</translation>
        </message>
        <message>
            <source>PIN</source>
            <translation>PIN</translation>
        </message>
        <message>
            <source>Please enter your PIN</source>
            <translation>Zadajte, prosím, svoj PIN</translation>
        </message>
        <message>
            <source>Varnek Quillmark</source>
            <translation>Varnek Quillmark</translation>
        </message>
    </context>
    <context>
        <name>QObject</name>
        <message>
            <source>AboutDialogText</source>
            <translation>%1
Verzia %2 (%3)</translation>
        </message>
        <message>
            <source>AboutDialogTitle</source>
            <translation>O aplikácii Quillmark</translation>
        </message>
        <message>
            <source>AlgorithmNotSupported</source>
            <translation>Hašovací algoritmus %1 nie je podporovaný.</translation>
        </message>
        <message>
            <source>AllFiles</source>
            <translation>Všetky súbory (*)</translation>
        </message>
        <message>
            <source>AnswerNo</source>
            <translation>Nie</translation>
        </message>
        <message>
            <source>AnswerYes</source>
            <translation>Áno</translation>
        </message>
        <message>
            <source>AppName</source>
            <translation>Quillmark</translation>
        </message>
        <message>
            <source>AppTitle</source>
            <translation>%1 - %2 - %3</translation>
        </message>
        <message>
            <source>ArgumentNull</source>
            <translation>Argument %1 nesmie byť prázdny.</translation>
        </message>
        <message>
            <source>BtnChangeCertTextDefault</source>
            <translation>Kliknite a vyberte podpisový certifikát</translation>
        </message>
        <message>
            <source>BtnChangeCertTextSelected</source>
            <translation>Podpisový certifikát: %1</translation>
        </message>
        <message>
            <source>BtnChangeCertToolTipText</source>
            <translation>Sériové číslo: %1
Vydavateľ: %2
Platný do: %3</translation>
        </message>
        <message>
            <source>CertFormCertIssuer</source>
            <translation>Vydavateľ</translation>
        </message>
        <message>
            <source>CertFormCertNotAfter</source>
            <translation>Platný do</translation>
        </message>
        <message>
            <source>CertFormCertNotBefore</source>
            <translation>Platný od</translation>
        </message>
        <message>
            <source>CertFormCertProperties</source>
            <translation>Vlastnosť certifikátu</translation>
        </message>
        <message>
            <source>CertFormCertQualified</source>
            <translation>Kvalifikovaný</translation>
        </message>
        <message>
            <source>CertFormCertSerial</source>
            <translation>Sériové číslo</translation>
        </message>
        <message>
            <source>CertFormCertSubject</source>
            <translation>Subjekt</translation>
        </message>
        <message>
            <source>CertFormCertThumbprint</source>
            <translation>Odtlačok (SHA-1)</translation>
        </message>
        <message>
            <source>CertFormCertificateListingError</source>
            <translation>Certifikáty úložiska sa nepodarilo vypísať.</translation>
        </message>
        <message>
            <source>CertFormFalse</source>
            <translation>Nie</translation>
        </message>
        <message>
            <source>CertFormOpenFileDialogTitle</source>
            <translation>Vyberte modul PKCS#11 vášho tokenu</translation>
        </message>
        <message>
            <source>CertFormOtherModuleFile</source>
            <translation>Iný súbor modulu...</translation>
        </message>
        <message>
            <source>CertFormPkcs11AuthenticatedTokenTitle</source>
            <translation>%1 (prihlásený)</translation>
        </message>
        <message>
            <source>CertFormPkcs11SlotDescription</source>
            <translation>Popis slotu</translation>
        </message>
        <message>
            <source>CertFormPkcs11SlotId</source>
            <translation>ID slotu</translation>
        </message>
        <message>
            <source>CertFormPkcs11SlotManufacturer</source>
            <translation>Výrobca slotu</translation>
        </message>
        <message>
            <source>CertFormPkcs11TokenLabel</source>
            <translation>Označenie</translation>
        </message>
        <message>
            <source>CertFormPkcs11TokenLoggedIn</source>
            <translation>Prihlásený</translation>
        </message>
        <message>
            <source>CertFormPkcs11TokenManufacturer</source>
            <translation>Výrobca</translation>
        </message>
        <message>
            <source>CertFormPkcs11TokenModel</source>
            <translation>Model</translation>
        </message>
        <message>
            <source>CertFormPkcs11TokenProperties</source>
            <translation>Vlastnosť tokenu</translation>
        </message>
        <message>
            <source>CertFormPkcs11TokenSerialNumber</source>
            <translation>Sériové číslo</translation>
        </message>
        <message>
            <source>CertFormPkcs11TokenTitle</source>
            <translation>%1</translation>
        </message>
        <message>
            <source>CertFormTrue</source>
            <translation>Áno</translation>
        </message>
        <message>
            <source>CertStoreFriendlyNameCsp</source>
            <translation>Úložisko certifikátov Windows</translation>
        </message>
        <message>
            <source>CertStoreFriendlyNamePkcs11</source>
            <translation>Token PKCS#11</translation>
        </message>
        <message>
            <source>CloseUnsigned</source>
            <translation>Naozaj chcete zatvoriť aplikáciu bez podpísania dokumentu?</translation>
        </message>
        <message>
            <source>CommunicationMismatchDocument</source>
            <translation>Odpoveď servera patrí k inému dokumentu.</translation>
        </message>
        <message>
            <source>CommunicationMismatchNonce</source>
            <translation>Odpoveď servera nepatrí k tejto požiadavke.</translation>
        </message>
        <message>
            <source>CommunicationMismatchPage</source>
            <translation>Server poslal stranu %1 namiesto strany %2.</translation>
        </message>
        <message>
            <source>CommunicationMismatchRequest</source>
            <translation>Požiadavku %1 nemožno odoslať, kým požiadavka %2 čaká na odpoveď.</translation>
        </message>
        <message>
            <source>CommunicationMismatchResponse</source>
            <translation>Odpoveď servera nezodpovedá požiadavke (%1).</translation>
        </message>
        <message>
            <source>CommunicationMismatchServer</source>
            <translation>Odpoveď servera pochádza z iného servera.</translation>
        </message>
        <message>
            <source>CommunicationMismatchSession</source>
            <translation>Odpoveď servera patrí k inej relácii.</translation>
        </message>
        <message>
            <source>CommunicationMismatchUnstrustedServer</source>
            <translation>Odpoveď servera nie je podpísaná dôveryhodným serverom.</translation>
        </message>
        <message>
            <source>ComponentAlreadyRunning</source>
            <translation>Okno podpisovania je už otvorené.</translation>
        </message>
        <message>
            <source>ConfigurationFailedToLoad</source>
            <translation>Uloženú konfiguráciu podpisovania sa nepodarilo načítať.</translation>
        </message>
        <message>
            <source>ConfigurationFailedToSave</source>
            <translation>Konfiguráciu podpisovania sa nepodarilo uložiť.</translation>
        </message>
        <message>
            <source>DocumentContainsNoPages</source>
            <translation>Dokument neobsahuje žiadne strany.</translation>
        </message>
        <message>
            <source>EventHandlerNotSet</source>
            <translation>Pre udalosť %1 nie je zaregistrovaná obsluha.</translation>
        </message>
        <message>
            <source>GeneralExceptionMessage</source>
            <translation>Nastala neočakávaná chyba.</translation>
        </message>
        <message>
            <source>InvalidCertificate</source>
            <translation>Certifikát je neplatný.</translation>
        </message>
        <message>
            <source>InvalidLengthOfHash</source>
            <translation>Haš má nesprávnu dĺžku pre %1.</translation>
        </message>
        <message>
            <source>InvalidPageImage</source>
            <translation>Obrázok strany je neplatný.</translation>
        </message>
        <message>
            <source>IssuerInvalid</source>
            <translation>Certifikát nevydala dôveryhodná autorita.</translation>
        </message>
        <message>
            <source>LanguageInstallationFailed</source>
            <translation>Jazyk %1 sa nepodarilo nainštalovať.</translation>
        </message>
        <message>
            <source>MaxLoginAttemptsReached</source>
            <translation>Bol dosiahnutý maximálny počet pokusov o zadanie PIN.</translation>
        </message>
        <message>
            <source>MessageNotImplemented</source>
            <translation>%1 %2 nie je implementovaná. </translation>
        </message>
        <message>
            <source>MissingImplementation</source>
            <translation>Udalosť %1 posiela iba aplikácia; nemožno ju prijať.</translation>
        </message>
        <message>
            <source>MsgBoxDetailsHide</source>
            <translation>Skryť podrobnosti</translation>
        </message>
        <message>
            <source>MsgBoxDetailsShow</source>
            <translation>Zobraziť podrobnosti</translation>
        </message>
        <message>
            <source>NoMethodOrEventSpecified</source>
            <translation>Správa neobsahuje metódu ani udalosť.</translation>
        </message>
        <message>
            <source>ObjectDisposed</source>
            <translation>Objekt %1 už bol uvoľnený.</translation>
        </message>
        <message>
            <source>OperationCanceled</source>
            <translation>Operácia bola zrušená.</translation>
        </message>
        <message>
            <source>PageDoesNotExist</source>
            <translation>Strana %1 neexistuje.</translation>
        </message>
        <message>
            <source>PageImageName</source>
            <translation>Strana %1 z %2</translation>
        </message>
        <message>
            <source>PanelWaitTextForCertStoreReading</source>
            <translation>Načítavajú sa certifikáty...</translation>
        </message>
        <message>
            <source>PanelWaitTextForGetDocumentInfo</source>
            <translation>Načítavajú sa informácie o dokumente...</translation>
        </message>
        <message>
            <source>PanelWaitTextForGetDocumentPage</source>
            <translation>Načítava sa strana %1...</translation>
        </message>
        <message>
            <source>PanelWaitTextForSignFinish</source>
            <translation>Podpis sa dokončuje...</translation>
        </message>
        <message>
            <source>PanelWaitTextForSignInit</source>
            <translation>Dokument sa pripravuje na podpísanie...</translation>
        </message>
        <message>
            <source>PinBlocked</source>
            <translation>PIN je zablokovaný.</translation>
        </message>
        <message>
            <source>PinFormInformation</source>
            <translation>Zadajte, prosím, PIN svojho tokenu.</translation>
        </message>
        <message>
            <source>PinFormSlotTitle</source>
            <translation>Čítačka: %1</translation>
        </message>
        <message>
            <source>PinFormTokenTitle</source>
            <translation>Token: %1</translation>
        </message>
        <message>
            <source>PinIncorrect</source>
            <translation>PIN je nesprávny.</translation>
        </message>
        <message>
            <source>PinNotAccepted</source>
            <translation>Karta neprijala PIN. Skontrolujte PIN a skúste to znova.</translation>
        </message>
        <message>
            <source>QuillmarkInstanceDoesNotExist</source>
            <translation>Inštancia Quillmark neexistuje.</translation>
        </message>
        <message>
            <source>ResponseCertPolicyMissing</source>
            <translation>Certifikát servera neobsahuje požadovanú politiku.</translation>
        </message>
        <message>
            <source>ResponseDataPartMissing</source>
            <translation>Odpoveď servera neobsahuje údaje.</translation>
        </message>
        <message>
            <source>SignedHashMismatch</source>
            <translation>Podpis nezodpovedá podpisovému certifikátu.</translation>
        </message>
        <message>
            <source>SigningCertificateUnavailable</source>
            <translation>Podpisový certifikát alebo jeho súkromný kľúč nie je dostupný.</translation>
        </message>
        <message>
            <source>SigningSuccessfulDialogText</source>
            <translation>Dokument bol úspešne podpísaný.</translation>
        </message>
        <message>
            <source>TokenRemoved</source>
            <translation>Karta alebo token boli vybraté. Vložte ich späť a skúste to znova.</translation>
        </message>
        <message>
            <source>UnableToCall</source>
            <translation>Funkciu %1 knižnice %2 sa nepodarilo zavolať.</translation>
        </message>
        <message>
            <source>UnableToFind</source>
            <translation>V knižnici %2 sa nenašla funkcia %1.</translation>
        </message>
        <message>
            <source>UnableToInitialize</source>
            <translation>Knižnicu %1 %2 sa nepodarilo inicializovať.</translation>
        </message>
        <message>
            <source>UnableToLoad</source>
            <translation>Knižnicu %1 %2 sa nepodarilo načítať.</translation>
        </message>
        <message>
            <source>UnableToParseSigningCertificateStoresDefinition</source>
            <translation>Definíciu úložísk podpisových certifikátov sa nepodarilo prečítať.</translation>
        </message>
        <message>
            <source>UnknownDocId</source>
            <translation>Neznámy dokument</translation>
        </message>
        <message>
            <source>UnknownServerName</source>
            <translation>Neznámy server</translation>
        </message>
        <message>
            <source>UnsupportedLanguage</source>
            <translation>Jazyk %1 nie je podporovaný.</translation>
        </message>
        <message>
            <source>UnsupportedPrivateKey</source>
            <translation>Typ súkromného kľúča nie je podporovaný.</translation>
        </message>
        <message>
            <source>UntrustedModule</source>
            <translation>Modul PKCS#11 %1 nebol načítaný: používajú sa len moduly, ktoré nainštaloval alebo zaregistroval správca, alebo ktoré ste vybrali cez „Iný súbor modulu...“.</translation>
        </message>
        <message>
            <source>UsableCertStoreNotPresent</source>
            <translation>Nie je dostupné žiadne použiteľné úložisko certifikátov.</translation>
        </message>
    </context>
    <context>
        <name>WaitDialog</name>
        <message>
            <source>Please wait</source>
            <translation>Čakajte, prosím</translation>
        </message>
    </context>
</TS>
