#include "certform.h"
#include "ui_certform.h"

#include "appexception.h"
#include "capturedfailure.h"
#include "moduletrust.h"
#include "msgbox.h"
#include "opensslthreadrelease.h"
#include "pinformprompt.h"
#include "pkcs11moduleregistry.h"
#include "waitdialog.h"

#include <QCryptographicHash>
#include <QFileDialog>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QPointer>
#include <QShowEvent>
#include <QTreeWidgetItem>
#include <QtConcurrent>
#include <QtDebug>

namespace {

constexpr int detailsHeaderHeight = 20;
constexpr int tokenValueCount = 8;
constexpr int certificateValueCount = 7;
const QString validityFormat = QStringLiteral("d. M. yyyy HH:mm:ss");

const char *const tokenRowNames[tokenValueCount] = {
    QT_TRANSLATE_NOOP("QObject", "CertFormPkcs11TokenSerialNumber"),
    QT_TRANSLATE_NOOP("QObject", "CertFormPkcs11TokenLabel"),
    QT_TRANSLATE_NOOP("QObject", "CertFormPkcs11TokenModel"),
    QT_TRANSLATE_NOOP("QObject", "CertFormPkcs11TokenManufacturer"),
    QT_TRANSLATE_NOOP("QObject", "CertFormPkcs11TokenLoggedIn"),
    QT_TRANSLATE_NOOP("QObject", "CertFormPkcs11SlotId"),
    QT_TRANSLATE_NOOP("QObject", "CertFormPkcs11SlotDescription"),
    QT_TRANSLATE_NOOP("QObject", "CertFormPkcs11SlotManufacturer"),
};

const char *const certificateRowNames[certificateValueCount] = {
    QT_TRANSLATE_NOOP("QObject", "CertFormCertSubject"),
    QT_TRANSLATE_NOOP("QObject", "CertFormCertIssuer"),
    QT_TRANSLATE_NOOP("QObject", "CertFormCertSerial"),
    QT_TRANSLATE_NOOP("QObject", "CertFormCertNotBefore"),
    QT_TRANSLATE_NOOP("QObject", "CertFormCertNotAfter"),
    QT_TRANSLATE_NOOP("QObject", "CertFormCertQualified"),
    QT_TRANSLATE_NOOP("QObject", "CertFormCertThumbprint"),
};

QString yesNo(bool value)
{
    return value ? QObject::tr("CertFormTrue") : QObject::tr("CertFormFalse");
}

QStringList valuesOf(const QTreeWidgetItem *item)
{
    return item->data(1, Qt::DisplayRole).toStringList();
}

} // namespace

CertForm::CertForm(QWidget *parent, const QList<Pkcs11CertStore> &stores, bool filterOnlyValid,
                   bool filterOnlyQualified, const Configuration &configuration)
    : QMainWindow(parent)
    , m_ui(std::make_unique<Ui::CertForm>())
    , m_watcher(new QFutureWatcher<Listing>(this))
    , m_filterOnlyValid(filterOnlyValid)
    , m_filterOnlyQualified(filterOnlyQualified)
    , m_stores(stores)
    , m_configuration(configuration)
{
    m_ui->setupUi(this);
    // A large font needs a higher header than the designed one.
    QHeaderView *header = m_ui->tableWidgetDetails->horizontalHeader();
    header->setFixedHeight(qMax(detailsHeaderHeight, header->fontMetrics().height() + 4));
    // Column 1 carries the property values of an item for the details table.
    m_ui->treeWidgetCertificates->setColumnCount(2);
    m_ui->treeWidgetCertificates->setColumnHidden(1, true);
    // Long token and certificate names widen the column and scroll; the
    // window may be made larger to read them whole.
    m_ui->treeWidgetCertificates->header()->setStretchLastSection(false);
    m_ui->treeWidgetCertificates->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    // The arrow keys move through the tree without a click; the details and
    // OK follow them as they follow a click.
    connect(m_ui->treeWidgetCertificates, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem *current) {
                if (current && QApplication::mouseButtons() == Qt::NoButton)
                    on_treeWidgetCertificates_itemClicked(current, 0);
            });
    m_ui->treeWidgetCertificates->setFocus();

    connect(this, &CertForm::closeWaitDialog, this, &CertForm::hideWaitDialog);
    connect(this, &CertForm::certificateChosen, this, &CertForm::setConfiguration);
    connect(this, &CertForm::windowShown, this, &CertForm::afterWindowIsShown,
            static_cast<Qt::ConnectionType>(Qt::QueuedConnection | Qt::UniqueConnection));
    connect(m_watcher, &QFutureWatcherBase::finished, this, &CertForm::hideWaitDialog,
            Qt::DirectConnection);
    connect(m_watcher, &QFutureWatcherBase::resultReadyAt, this, &CertForm::showListing);
}

CertForm::~CertForm()
{
    qDebug() << "Destroying CertForm";
    // A listing still running asks for no PIN any more; its result goes
    // nowhere.
    m_watcher->disconnect(this);
    if (m_listingPrompt)
        m_listingPrompt->withdraw();
    delete m_waitDialog;
}

Configuration CertForm::getConfiguration() const
{
    return m_configuration;
}

X509Certificate2Ultra CertForm::getSelectedCertificate() const
{
    return m_selectedCertificate;
}

void CertForm::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (QWidget *parent = parentWidget()) {
        QRect frame = frameGeometry();
        frame.moveCenter(parent->window()->frameGeometry().center());
        move(frame.topLeft());
    }
    QApplication::setActiveWindow(this);
    emit windowShown();
}

void CertForm::keyPressEvent(QKeyEvent *event)
{
    // A window, not a dialog: Return that the focused control passes on
    // chooses the certificate as OK does.
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && m_ui->btnOk->isEnabled()) {
        m_ui->btnOk->click();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

void CertForm::afterWindowIsShown()
{
    qDebug() << "CertForm is shown and is setting up combobox of stores";
    QComboBox *combo = m_ui->comboBoxStore;
    combo->clear();
    combo->addItem(QString(), -1);
    const QString configuredPath = m_configuration.getPkcs11Library();
    bool storeSelected = false;
    for (int i = 0; i < m_stores.size(); ++i) {
        Pkcs11CertStore &store = m_stores[i];
        combo->addItem(store.getName(), i);
        const bool qualifies = store.isLibraryPathSelectable() || store.getLibraryPath() == configuredPath;
        if (storeSelected || !qualifies || configuredPath.isEmpty())
            continue;
        storeSelected = true;
        // The store takes the configured module before it becomes current:
        // the listing that the change starts must already read that module.
        if (store.isLibraryPathSelectable())
            store.setLibraryPath(configuredPath);
        combo->setCurrentIndex(combo->findText(store.getName(), Qt::MatchExactly | Qt::MatchCaseSensitive));
    }
    {
        // Removing the placeholder only renumbers a store that is already
        // current; without a selection it makes the first store current.
        const QSignalBlocker quiet(storeSelected ? combo : nullptr);
        combo->removeItem(0);
    }
    if (combo->count() == 0)
        MsgBox::showError(this, QObject::tr("AppName"), QObject::tr("UsableCertStoreNotPresent"), [this] { close(); });
}

int CertForm::selectedStoreIndex() const
{
    bool isNumber = false;
    const int index = m_ui->comboBoxStore->currentData().toInt(&isNumber);
    return isNumber && index >= 0 && index < m_stores.size() ? index : -1;
}

bool CertForm::listingRuns() const
{
    return m_watcher->isRunning();
}

// The int signal: Qt 6 has no currentIndexChanged(QString).
void CertForm::on_comboBoxStore_currentIndexChanged(int comboIndex)
{
    const QString text = m_ui->comboBoxStore->itemText(comboIndex);
    const int index = selectedStoreIndex();
    if (text.isEmpty() || index < 0 || listingRuns())
        return;
    qDebug() << "Changing store to: " << text;
    try {
        clearDetails();
        m_ui->treeWidgetCertificates->clear();
        const Pkcs11CertStore &store = m_stores.at(index);
        m_ui->btnBrowse->setEnabled(store.isLibraryPathSelectable());
        m_ui->btnRefresh->setEnabled(!store.getLibraryPath().isEmpty());
        m_ui->lineEditDriver->setText(store.getLibraryPath());
        startListing();
    } catch (const AppException &e) {
        MsgBox::showError(QApplication::activeWindow(), QObject::tr("AppName"), e);
        emit closeWaitDialog();
    }
}

void CertForm::on_btnBrowse_clicked()
{
    qDebug() << "Browse button clicked";
    const QList<Pkcs11ModuleRegistry::Module> registered = Pkcs11ModuleRegistry::system().modules();
    if (registered.isEmpty()) {
        browseForModuleFile();
        return;
    }
    // The modules the system knows by name first, then any other file.
    auto *menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("menuModules"));
    menu->setToolTipsVisible(true);
    connect(menu, &QMenu::aboutToHide, menu, &QObject::deleteLater);
    for (const Pkcs11ModuleRegistry::Module &module : registered) {
        QAction *action = menu->addAction(module.name, this, [this, path = module.path]() { moduleChosen(path); });
        action->setToolTip(module.path);
    }
    menu->addSeparator();
    menu->addAction(QObject::tr("CertFormOtherModuleFile"), this, &CertForm::browseForModuleFile);
    menu->popup(m_ui->btnBrowse->mapToGlobal(m_ui->btnBrowse->rect().bottomLeft()));
}

void CertForm::browseForModuleFile()
{
    // Opened without a loop of its own: the page is served meanwhile.
    auto *dialog = new QFileDialog(this, QObject::tr("CertFormOpenFileDialogTitle"), QString(),
                                   QObject::tr("AllFiles"));
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setWindowModality(Qt::ApplicationModal);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // The person's own choice: trusted on later runs too, for as long as
    // nobody else may change the file.
    connect(dialog, &QFileDialog::fileSelected, this, [this](const QString &path) {
        const int index = selectedStoreIndex();
        if (index >= 0)
            m_stores.at(index).moduleTrust().rememberUserChoice(path);
        moduleChosen(path);
    });
    dialog->show();
}

void CertForm::moduleChosen(const QString &path)
{
    const int index = selectedStoreIndex();
    if (path.isEmpty() || index < 0)
        return;
    m_stores[index].setLibraryPath(path);
    m_ui->lineEditDriver->setText(path);
    m_ui->btnRefresh->setEnabled(!m_stores.at(index).getLibraryPath().isEmpty());
    startListing();
}

void CertForm::on_btnRefresh_clicked()
{
    qDebug() << "Refresh cert store button clicked";
    clearDetails();
    startListing();
}

void CertForm::startListing()
{
    const int index = selectedStoreIndex();
    if (index < 0 || listingRuns())
        return;
    Pkcs11CertStore store = m_stores.at(index);
    // The panel is up before the worker can ask for a PIN: a panel opened
    // after the PIN dialog would block it.
    showListingWaitDialog();
    m_listingPrompt = std::make_shared<PinFormPrompt>();
    m_watcher->setFuture(QtConcurrent::run([store, pinPrompt = m_listingPrompt]() {
        const OpenSslThreadRelease release;
        return refreshCertStore(store, *pinPrompt);
    }));
}

CertForm::Listing CertForm::refreshCertStore(const Pkcs11CertStore &store, PinPrompt &pinPrompt)
{
    qDebug() << "Reloading cert store " << store.getName() << store.getLibraryPath();
    Listing listing;
    listing.failure = capturedFailure([&] { listing.containers = store.getContainers(pinPrompt); });
    return listing;
}

void CertForm::showListingWaitDialog()
{
    showWaitDialog(QObject::tr("PanelWaitTextForCertStoreReading"));
}

void CertForm::showWaitDialog(const QString &text)
{
    qDebug() << "Show wait dialog with message: " << text;
    delete m_waitDialog;
    m_waitDialog = new WaitDialog(this);
    m_waitDialog->setWindowModality(Qt::ApplicationModal);
    m_waitDialog->setText(text);
    m_waitDialog->show();
}

void CertForm::hideWaitDialog()
{
    qDebug() << "Hide wait dialog";
    if (!m_waitDialog)
        return;
    m_waitDialog->close();
    delete m_waitDialog;
    m_waitDialog = nullptr;
}

void CertForm::showListing(int resultIndex)
{
    const Listing listing = m_watcher->resultAt(resultIndex);
    m_listingPrompt.reset();
    populateTreeView(listing.containers);
    if (listing.failure) {
        MsgBox::showErrorWithDetail(this, QObject::tr("AppName"),
                                    QObject::tr("CertFormCertificateListingError"),
                                    listing.failure->toString(true));
    }
}

void CertForm::clearDetails()
{
    m_ui->btnOk->setEnabled(false);
    QTableWidget *table = m_ui->tableWidgetDetails;
    table->setEnabled(false);
    table->clear();
    table->setRowCount(0);
    table->setColumnCount(0);
}

void CertForm::populateTreeView(const QList<Pkcs11CertContainer> &list)
{
    qDebug() << "Populating tree view of cert containers";
    m_shownCertificates.clear();
    m_containers = list;
    m_selectedContainer = -1;
    m_ui->treeWidgetCertificates->clear();
    clearDetails();

    QTreeWidgetItem *candidate = nullptr;
    for (int i = 0; i < m_containers.size(); ++i) {
        const Pkcs11CertContainer &container = m_containers.at(i);
        m_shownCertificates.append(QList<X509Certificate2Ultra>());
        QTreeWidgetItem *tokenItem = addContainerItem(i, container);
        const QList<X509Certificate2Ultra> certificates = container.getCertificates();
        for (const X509Certificate2Ultra &certificate : certificates) {
            if (!isShown(certificate))
                continue;
            m_shownCertificates.last().append(certificate);
            auto *item = new QTreeWidgetItem(tokenItem);
            item->setText(0, certificate.displayName());
            item->setToolTip(0, item->text(0));
            item->setIcon(0, QIcon(QStringLiteral(":/Resources/Certs")));
            item->setData(1, Qt::DisplayRole, certificateValues(certificate));
            if (certificates.size() == 1 || certificate.getRawData() == m_configuration.getSigningCertificate())
                candidate = item;
        }
    }
    // Made current, it is handled as if clicked.
    if (candidate)
        m_ui->treeWidgetCertificates->setCurrentItem(candidate);
    m_ui->treeWidgetCertificates->expandAll();
}

QTreeWidgetItem *CertForm::addContainerItem(int index, const Pkcs11CertContainer &container)
{
    auto *item = new QTreeWidgetItem(m_ui->treeWidgetCertificates);
    const QString title = container.isLoggedIn() ? QObject::tr("CertFormPkcs11AuthenticatedTokenTitle")
                                                 : QObject::tr("CertFormPkcs11TokenTitle");
    item->setText(0, title.arg(tokenTitle(container)));
    item->setToolTip(0, item->text(0));
    item->setIcon(0, QIcon(QStringLiteral(":/Resources/Container")));
    item->setData(1, Qt::DisplayRole, tokenValues(container));
    item->setData(1, Qt::UserRole, QString::number(index));
    return item;
}

bool CertForm::isShown(const X509Certificate2Ultra &certificate) const
{
    if (m_filterOnlyValid && !certificate.isValidNow())
        return false;
    if (m_filterOnlyQualified && !certificate.isQualified())
        return false;
    return !certificate.isCa();
}

QString CertForm::tokenTitle(const Pkcs11CertContainer &container)
{
    const Pkcs11TokenInfo token = container.getTokenInfo();
    QStringList parts{token.getModel(), token.getLabel()};
    parts.removeAll(QString());
    return parts.join(QStringLiteral(" - "));
}

QStringList CertForm::tokenValues(const Pkcs11CertContainer &container)
{
    const Pkcs11TokenInfo token = container.getTokenInfo();
    const Pkcs11SlotInfo slot = container.getSlotInfo();
    return {token.getSerialNumber(),
            token.getLabel(),
            token.getModel(),
            token.getManufacturerId(),
            yesNo(container.isLoggedIn()),
            QString::number(slot.getSlotId()),
            slot.getDescription(),
            slot.getManufacturerId()};
}

QStringList CertForm::certificateValues(const X509Certificate2Ultra &certificate)
{
    return {certificate.subjectDn(),
            certificate.issuerDn(),
            QString::fromLatin1(certificate.serialNumber()).toUpper().remove(QLatin1Char(':')),
            certificate.effectiveDate().toLocalTime().toString(validityFormat),
            certificate.expiryDate().toLocalTime().toString(validityFormat),
            yesNo(certificate.isQualified()),
            QString::fromLatin1(certificate.digest(QCryptographicHash::Sha1).toHex().toUpper())};
}

void CertForm::on_treeWidgetCertificates_itemClicked(QTreeWidgetItem *item, int column)
{
    Q_UNUSED(column);
    const QStringList values = valuesOf(item);
    const bool isCertificate = values.size() == certificateValueCount;
    selected(values, isCertificate);
    if (!isCertificate) {
        qDebug() << "Container was clicked";
        const int index = item->data(1, Qt::UserRole).toString().toInt();
        m_selectedContainer = index >= 0 && index < m_containers.size() ? index : -1;
        m_ui->btnOk->setEnabled(false);
        return;
    }
    qDebug() << "Certificate was clicked";
    QTreeWidgetItem *parent = item->parent();
    const int i = m_ui->treeWidgetCertificates->indexOfTopLevelItem(parent);
    const int j = parent->indexOfChild(item);
    m_selectedCertificate = m_shownCertificates.at(i).at(j);
    m_selectedContainer = i;
    m_ui->btnOk->setEnabled(true);
}

void CertForm::on_treeWidgetCertificates_itemDoubleClicked(QTreeWidgetItem *item, int column)
{
    Q_UNUSED(column);
    if (valuesOf(item).size() != certificateValueCount) {
        qDebug() << "Expanding/Collapsing container";
        item->setExpanded(!item->isExpanded());
        return;
    }
    qDebug() << "Certificate chosen by double click";
    emit certificateChosen();
    close();
}

void CertForm::selected(const QStringList &values, bool isCertificate)
{
    qDebug() << "Showing properties of selected " << (isCertificate ? "certificate" : "container");
    QTableWidget *table = m_ui->tableWidgetDetails;
    table->setEnabled(true);
    table->clear();
    table->setRowCount(0);
    table->setColumnCount(2);
    table->setHorizontalHeaderLabels(
        {isCertificate ? QObject::tr("CertFormCertProperties") : QObject::tr("CertFormPkcs11TokenProperties"),
         QString()});
    const char *const *rowNames = isCertificate ? certificateRowNames : tokenRowNames;
    const int rowCount = isCertificate ? certificateValueCount : tokenValueCount;
    for (int r = 0; r < values.size() && r < rowCount; ++r) {
        table->insertRow(r);
        table->setItem(r, 0, new QTableWidgetItem(QObject::tr(rowNames[r])));
        auto *value = new QTableWidgetItem(values.at(r));
        value->setToolTip(values.at(r));
        table->setItem(r, 1, value);
    }
    table->horizontalHeader()->setStretchLastSection(true);
    table->resizeColumnsToContents();
}

void CertForm::on_btnOk_clicked()
{
    qDebug() << "Button OK clicked";
    emit certificateChosen();
    close();
}

void CertForm::on_btnCancel_clicked()
{
    qDebug() << "Button Cancel clicked";
    close();
}

void CertForm::setConfiguration()
{
    qDebug() << "Setting configuration";
    const int store = selectedStoreIndex();
    m_configuration.setPkcs11Library(store < 0 ? QString() : m_stores.at(store).getLibraryPath());
    const Pkcs11TokenInfo token = m_selectedContainer < 0 ? Pkcs11TokenInfo()
                                                          : m_containers.at(m_selectedContainer).getTokenInfo();
    m_configuration.setPkcs11TokenLabel(token.getLabel());
    m_configuration.setPkcs11TokenSerial(token.getSerialNumber());
    m_configuration.setSigningCertificate(m_selectedCertificate.getRawData());
    emit configurationSet();
}
