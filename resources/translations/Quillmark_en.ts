<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
    <context>
        <name>CertForm</name>
        <message>
            <source>&amp;Browse...</source>
            <translation>&amp;Browse...</translation>
        </message>
        <message>
            <source>&amp;Store:</source>
            <translation>&amp;Store:</translation>
        </message>
        <message>
            <source>Cancel</source>
            <translation>Cancel</translation>
        </message>
        <message>
            <source>Certificates</source>
            <translation>Certificates</translation>
        </message>
        <message>
            <source>Details</source>
            <translation>Details</translation>
        </message>
        <message>
            <source>Driver:</source>
            <translation>Driver:</translation>
        </message>
        <message>
            <source>OK</source>
            <translation>OK</translation>
        </message>
        <message>
            <source>Refresh</source>
            <translation>Refresh</translation>
        </message>
        <message>
            <source>Select signing certificate</source>
            <translation>Select signing certificate</translation>
        </message>
    </context>
    <context>
        <name>CloseDialog</name>
        <message>
            <source>Do you really want to close the application without signing the document?</source>
            <translation>Do you really want to close the application without signing the document?</translation>
        </message>
        <message>
            <source>No</source>
            <translation>No</translation>
        </message>
        <message>
            <source>Varnek Quillmark</source>
            <translation>Varnek Quillmark</translation>
        </message>
        <message>
            <source>Yes</source>
            <translation>Yes</translation>
        </message>
    </context>
    <context>
        <name>MainWindow</name>
        <message>
            <source>&amp;Close</source>
            <translation>&amp;Close</translation>
        </message>
        <message>
            <source>&amp;Sign</source>
            <translation>&amp;Sign</translation>
        </message>
        <message>
            <source>About</source>
            <translation>About</translation>
        </message>
        <message>
            <source>Actual size</source>
            <translation>Actual size</translation>
        </message>
        <message>
            <source>Click to choose signing certificate</source>
            <translation>Click to choose signing certificate</translation>
        </message>
        <message>
            <source>Document is available only for viewing</source>
            <translation>Document is available only for viewing</translation>
        </message>
        <message>
            <source>Document page</source>
            <translation>Document page</translation>
        </message>
        <message>
            <source>Fit to page</source>
            <translation>Fit to page</translation>
        </message>
        <message>
            <source>Fit to width</source>
            <translation>Fit to width</translation>
        </message>
        <message>
            <source>Next page</source>
            <translation>Next page</translation>
        </message>
        <message>
            <source>Number of pages</source>
            <translation>Number of pages</translation>
        </message>
        <message>
            <source>Page number</source>
            <translation>Page number</translation>
        </message>
        <message>
            <source>Previous page</source>
            <translation>Previous page</translation>
        </message>
        <message>
            <source>Varnek Quillmark</source>
            <translation>Varnek Quillmark</translation>
        </message>
        <message>
            <source>Zoom</source>
            <translation>Zoom</translation>
        </message>
        <message>
            <source>Zoom in</source>
            <translation>Zoom in</translation>
        </message>
        <message>
            <source>Zoom out</source>
            <translation>Zoom out</translation>
        </message>
    </context>
    <context>
        <name>MsgBox</name>
        <message>
            <source>Details</source>
            <translation>Details</translation>
        </message>
    </context>
    <context>
        <name>PinForm</name>
        <message>
            <source>Cancel</source>
            <translation>Cancel</translation>
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
            <translation>Please enter your PIN</translation>
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
Version %2 (%3)</translation>
        </message>
        <message>
            <source>AboutDialogTitle</source>
            <translation>About Quillmark</translation>
        </message>
        <message>
            <source>AlgorithmNotSupported</source>
            <translation>The hash algorithm %1 is not supported.</translation>
        </message>
        <message>
            <source>AllFiles</source>
            <translation>All files (*)</translation>
        </message>
        <message>
            <source>AnswerNo</source>
            <translation>No</translation>
        </message>
        <message>
            <source>AnswerYes</source>
            <translation>Yes</translation>
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
            <translation>The argument %1 must not be empty.</translation>
        </message>
        <message>
            <source>BtnChangeCertTextDefault</source>
            <translation>Click to choose signing certificate</translation>
        </message>
        <message>
            <source>BtnChangeCertTextSelected</source>
            <translation>Signing certificate: %1</translation>
        </message>
        <message>
            <source>BtnChangeCertToolTipText</source>
            <translation>Serial number: %1
Issuer: %2
Valid until: %3</translation>
        </message>
        <message>
            <source>CertFormCertIssuer</source>
            <translation>Issuer</translation>
        </message>
        <message>
            <source>CertFormCertNotAfter</source>
            <translation>Valid until</translation>
        </message>
        <message>
            <source>CertFormCertNotBefore</source>
            <translation>Valid from</translation>
        </message>
        <message>
            <source>CertFormCertProperties</source>
            <translation>Certificate property</translation>
        </message>
        <message>
            <source>CertFormCertQualified</source>
            <translation>Qualified</translation>
        </message>
        <message>
            <source>CertFormCertSerial</source>
            <translation>Serial number</translation>
        </message>
        <message>
            <source>CertFormCertSubject</source>
            <translation>Subject</translation>
        </message>
        <message>
            <source>CertFormCertThumbprint</source>
            <translation>Thumbprint (SHA-1)</translation>
        </message>
        <message>
            <source>CertFormCertificateListingError</source>
            <translation>The certificates of the store could not be listed.</translation>
        </message>
        <message>
            <source>CertFormFalse</source>
            <translation>No</translation>
        </message>
        <message>
            <source>CertFormOpenFileDialogTitle</source>
            <translation>Choose the PKCS#11 module of your token</translation>
        </message>
        <message>
            <source>CertFormOtherModuleFile</source>
            <translation>Other module file...</translation>
        </message>
        <message>
            <source>CertFormPkcs11AuthenticatedTokenTitle</source>
            <translation>%1 (logged in)</translation>
        </message>
        <message>
            <source>CertFormPkcs11SlotDescription</source>
            <translation>Slot description</translation>
        </message>
        <message>
            <source>CertFormPkcs11SlotId</source>
            <translation>Slot ID</translation>
        </message>
        <message>
            <source>CertFormPkcs11SlotManufacturer</source>
            <translation>Slot manufacturer</translation>
        </message>
        <message>
            <source>CertFormPkcs11TokenLabel</source>
            <translation>Label</translation>
        </message>
        <message>
            <source>CertFormPkcs11TokenLoggedIn</source>
            <translation>Logged in</translation>
        </message>
        <message>
            <source>CertFormPkcs11TokenManufacturer</source>
            <translation>Manufacturer</translation>
        </message>
        <message>
            <source>CertFormPkcs11TokenModel</source>
            <translation>Model</translation>
        </message>
        <message>
            <source>CertFormPkcs11TokenProperties</source>
            <translation>Token property</translation>
        </message>
        <message>
            <source>CertFormPkcs11TokenSerialNumber</source>
            <translation>Serial number</translation>
        </message>
        <message>
            <source>CertFormPkcs11TokenTitle</source>
            <translation>%1</translation>
        </message>
        <message>
            <source>CertFormTrue</source>
            <translation>Yes</translation>
        </message>
        <message>
            <source>CertStoreFriendlyNameCsp</source>
            <translation>Windows certificate store</translation>
        </message>
        <message>
            <source>CertStoreFriendlyNamePkcs11</source>
            <translation>PKCS#11 token</translation>
        </message>
        <message>
            <source>CloseUnsigned</source>
            <translation>Do you really want to close the application without signing the document?</translation>
        </message>
        <message>
            <source>CommunicationMismatchDocument</source>
            <translation>The server answer belongs to another document.</translation>
        </message>
        <message>
            <source>CommunicationMismatchNonce</source>
            <translation>The server answer does not belong to this request.</translation>
        </message>
        <message>
            <source>CommunicationMismatchPage</source>
            <translation>The server sent page %1 instead of page %2.</translation>
        </message>
        <message>
            <source>CommunicationMismatchRequest</source>
            <translation>The request %1 cannot be sent while the request %2 is waiting for its answer.</translation>
        </message>
        <message>
            <source>CommunicationMismatchResponse</source>
            <translation>The server answer does not fit the request (%1).</translation>
        </message>
        <message>
            <source>CommunicationMismatchServer</source>
            <translation>The server answer comes from another server.</translation>
        </message>
        <message>
            <source>CommunicationMismatchSession</source>
            <translation>The server answer belongs to another session.</translation>
        </message>
        <message>
            <source>CommunicationMismatchUnstrustedServer</source>
            <translation>The server answer is not signed by a trusted server.</translation>
        </message>
        <message>
            <source>ComponentAlreadyRunning</source>
            <translation>The signing window is already open.</translation>
        </message>
        <message>
            <source>ConfigurationFailedToLoad</source>
            <translation>The stored signing configuration could not be read.</translation>
        </message>
        <message>
            <source>ConfigurationFailedToSave</source>
            <translation>The signing configuration could not be saved.</translation>
        </message>
        <message>
            <source>DocumentContainsNoPages</source>
            <translation>The document contains no pages.</translation>
        </message>
        <message>
            <source>EventHandlerNotSet</source>
            <translation>No handler is registered for the event %1.</translation>
        </message>
        <message>
            <source>GeneralExceptionMessage</source>
            <translation>An unexpected error occurred.</translation>
        </message>
        <message>
            <source>InvalidCertificate</source>
            <translation>The certificate is invalid.</translation>
        </message>
        <message>
            <source>InvalidLengthOfHash</source>
            <translation>The hash has the wrong length for %1.</translation>
        </message>
        <message>
            <source>InvalidPageImage</source>
            <translation>The page image is invalid.</translation>
        </message>
        <message>
            <source>IssuerInvalid</source>
            <translation>The certificate was not issued by a trusted authority.</translation>
        </message>
        <message>
            <source>LanguageInstallationFailed</source>
            <translation>The language %1 could not be installed.</translation>
        </message>
        <message>
            <source>MaxLoginAttemptsReached</source>
            <translation>The maximum number of PIN attempts has been reached.</translation>
        </message>
        <message>
            <source>MessageNotImplemented</source>
            <translation>%1 %2 is not implemented. </translation>
        </message>
        <message>
            <source>MissingImplementation</source>
            <translation>The event %1 is sent only by the application; it cannot be received.</translation>
        </message>
        <message>
            <source>MsgBoxDetailsHide</source>
            <translation>Hide details</translation>
        </message>
        <message>
            <source>MsgBoxDetailsShow</source>
            <translation>Show details</translation>
        </message>
        <message>
            <source>NoMethodOrEventSpecified</source>
            <translation>The message specifies neither a method nor an event.</translation>
        </message>
        <message>
            <source>ObjectDisposed</source>
            <translation>The %1 object has already been disposed.</translation>
        </message>
        <message>
            <source>OperationCanceled</source>
            <translation>The operation was cancelled.</translation>
        </message>
        <message>
            <source>PageDoesNotExist</source>
            <translation>Page %1 does not exist.</translation>
        </message>
        <message>
            <source>PageImageName</source>
            <translation>Page %1 of %2</translation>
        </message>
        <message>
            <source>PanelWaitTextForCertStoreReading</source>
            <translation>Reading the certificates...</translation>
        </message>
        <message>
            <source>PanelWaitTextForGetDocumentInfo</source>
            <translation>Loading document information...</translation>
        </message>
        <message>
            <source>PanelWaitTextForGetDocumentPage</source>
            <translation>Loading page %1...</translation>
        </message>
        <message>
            <source>PanelWaitTextForSignFinish</source>
            <translation>Completing the signature...</translation>
        </message>
        <message>
            <source>PanelWaitTextForSignInit</source>
            <translation>Preparing the document for signing...</translation>
        </message>
        <message>
            <source>PinBlocked</source>
            <translation>The PIN is blocked.</translation>
        </message>
        <message>
            <source>PinFormInformation</source>
            <translation>Please enter the PIN of your token.</translation>
        </message>
        <message>
            <source>PinFormSlotTitle</source>
            <translation>Reader: %1</translation>
        </message>
        <message>
            <source>PinFormTokenTitle</source>
            <translation>Token: %1</translation>
        </message>
        <message>
            <source>PinIncorrect</source>
            <translation>The PIN is incorrect.</translation>
        </message>
        <message>
            <source>PinNotAccepted</source>
            <translation>The card did not accept the PIN. Check the PIN and try again.</translation>
        </message>
        <message>
            <source>QuillmarkInstanceDoesNotExist</source>
            <translation>The Quillmark instance does not exist.</translation>
        </message>
        <message>
            <source>ResponseCertPolicyMissing</source>
            <translation>The server certificate does not carry the required certificate policy.</translation>
        </message>
        <message>
            <source>ResponseDataPartMissing</source>
            <translation>The server answer contains no data.</translation>
        </message>
        <message>
            <source>SignedHashMismatch</source>
            <translation>The signature does not match the signing certificate.</translation>
        </message>
        <message>
            <source>SigningCertificateUnavailable</source>
            <translation>The signing certificate or its private key is not available.</translation>
        </message>
        <message>
            <source>SigningSuccessfulDialogText</source>
            <translation>The document was signed successfully.</translation>
        </message>
        <message>
            <source>TokenRemoved</source>
            <translation>The card or token was removed. Put it back and try again.</translation>
        </message>
        <message>
            <source>UnableToCall</source>
            <translation>%1 of the library %2 could not be called.</translation>
        </message>
        <message>
            <source>UnableToFind</source>
            <translation>%1 was not found in the library %2.</translation>
        </message>
        <message>
            <source>UnableToInitialize</source>
            <translation>The %1 library %2 could not be initialised.</translation>
        </message>
        <message>
            <source>UnableToLoad</source>
            <translation>The %1 library %2 could not be loaded.</translation>
        </message>
        <message>
            <source>UnableToParseSigningCertificateStoresDefinition</source>
            <translation>The definition of the signing certificate stores could not be read.</translation>
        </message>
        <message>
            <source>UnknownDocId</source>
            <translation>Unknown document</translation>
        </message>
        <message>
            <source>UnknownServerName</source>
            <translation>Unknown server</translation>
        </message>
        <message>
            <source>UnsupportedLanguage</source>
            <translation>The language %1 is not supported.</translation>
        </message>
        <message>
            <source>UnsupportedPrivateKey</source>
            <translation>The type of the private key is not supported.</translation>
        </message>
        <message>
            <source>UntrustedModule</source>
            <translation>The PKCS#11 module %1 was not loaded: only modules installed or registered by the administrator, or chosen by you with "Other module file...", are used.</translation>
        </message>
        <message>
            <source>UsableCertStoreNotPresent</source>
            <translation>No usable certificate store is available.</translation>
        </message>
    </context>
    <context>
        <name>WaitDialog</name>
        <message>
            <source>Please wait</source>
            <translation>Please wait</translation>
        </message>
    </context>
</TS>
