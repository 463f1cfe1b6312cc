#pragma once

#include "settings/window_settings.h"
#include "util/message_service.h"
#include "util/string_list.h"

#include <QDate>
#include <QIcon>
#include <QList>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>

class QAction;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QMovie;
class QPlainTextEdit;
class QPushButton;
class QSplitter;
class QTabWidget;
class QTextBrowser;
class QTimer;
class QToolButton;
class QModelIndex;
class TAccountBook;
class TBookCommands;
class TBookFolder;
struct TBookSave;
class TBrowserPanel;
class TCategoryTree;
class TDocumentView;
class TItemEditor;
class TLinkLabel;
class TMessageHint;
class TPaymentsWindow;
class TPublisherServices;
class TSecretClipboard;
class TUndoDelete;
struct TImportPlan;

// The window's named controls and components. The window holds them as its
// own members, under the names its handlers use; other code finds them by
// objectName, so none of them is a public field of the window.
struct TfrmMainControls
{
    // --- Components without a visible place ---
    TMessageService *msgMain = nullptr;
    QTimer *Timer1 = nullptr;
    QList<QIcon> ImageList1;
    QMenu *bsSkinPopupMenu1 = nullptr;
    QAction *AddCategory1 = nullptr;
    QAction *EditCategory1 = nullptr;
    QAction *DeleteCategory1 = nullptr;
    QAction *N1 = nullptr;
    QAction *AddItem1 = nullptr;
    QAction *DeleteItem1 = nullptr;


    // --- Pages ---
    QTabWidget *pgcPrinc = nullptr;
    QPointer<QWidget> stsWelcome;
    TDocumentView *prfWelcome = nullptr;
    QPushButton *bsSkinButton1 = nullptr;
    QWidget *stsMain = nullptr;

    // Toolbar
    QFrame *bsSkinPanel1 = nullptr;
    QPushButton *btnAddCategory = nullptr;
    QPushButton *btnAddItem = nullptr;
    QPushButton *btnMakeMoney = nullptr;
    QPushButton *btnAbout = nullptr;
    QToolButton *btnNews = nullptr;
    QToolButton *btnUpdate = nullptr;
    QToolButton *btnHelp = nullptr;

    // Banner bar
    QFrame *panBanner = nullptr;
    QLabel *imgBanner = nullptr;
    QLabel *gifBanner = nullptr;
    QMovie *gifMovie = nullptr;

    // Categories and splitter
    QSplitter *bsSkinSplitter1 = nullptr;
    QGroupBox *bsSkinGroupBox1 = nullptr;
    TCategoryTree *tvwMain = nullptr;

    // Browser bar and browser
    QFrame *bsSkinPanel5 = nullptr;
    QToolButton *bsSkinSpeedButton1 = nullptr; // Back
    QToolButton *bsSkinSpeedButton2 = nullptr; // Forward
    QToolButton *bsSkinSpeedButton4 = nullptr; // Refresh
    QToolButton *bsSkinSpeedButton3 = nullptr; // Stop
    QLabel *bsSkinStdLabel8 = nullptr;
    QLineEdit *edtURL = nullptr;
    QPushButton *bsSkinButton2 = nullptr; // Go!
    TBrowserPanel *EmbeddedWB1 = nullptr;
    // Where the Paste buttons put their text; it forgets it again.
    TSecretClipboard *Clipboard = nullptr;

    // Link bar
    QFrame *panLinks = nullptr;
    TLinkLabel *lblLink1URL = nullptr;
    TLinkLabel *lblLink2URL = nullptr;

    // The toolbar's one button for the commands beyond its own buttons
    // (main_window_menu.cpp): restoring a backup, CSV, the item commands.
    QToolButton *btnMenu = nullptr;
    QMenu *mnuMain = nullptr;
    QAction *actRestoreBackup = nullptr;
    QAction *actExportCsv = nullptr;
    QAction *actImportCsv = nullptr;
    // Copy, move, duplicate and keys, beside the pop-up's own entries
    QAction *N2 = nullptr;
    QMenu *MoveItemTo1 = nullptr; // one entry per category, filled as the pop-up opens
    QAction *DuplicateItem1 = nullptr;
    // Whole fields, through Clipboard; the fields' context menus hold them,
    // and on the tree Ctrl+C and Ctrl+Shift+C copy the username and password.
    QAction *CopyUsername1 = nullptr;
    QAction *CopyPassword1 = nullptr;
    QAction *CopyWebsiteURL1 = nullptr;
    QAction *CopyLoginURL1 = nullptr;
    QAction *CopyAffiliateURL1 = nullptr;
    QAction *CopyCloaked1 = nullptr;
    QAction *RenameCategoryKey = nullptr; // F2 on the tree
    QAction *DeleteNodeKey = nullptr;     // Delete on the tree
    QAction *SaveItemKey = nullptr;       // Ctrl+S on the main page
    QAction *AddItemKey = nullptr;        // Ctrl+N on the main page
    // Search over the tree
    QLineEdit *edtSearch = nullptr;
};

// The main window: two pages (welcome and main), the account book's tree and
// item editor, the browser panel and the promotion places. Every file it reads
// or writes lies in the application folder handed to it.
class TfrmMain : public QWidget, private TfrmMainControls
{
    Q_OBJECT
public:
    // `appFolder` ends with a path separator. `messages` replaces msgMain
    // (tests pass a scripted double); the window does not own it.
    explicit TfrmMain(const QString &appFolder, TMessageService *messages = nullptr,
                      QWidget *parent = nullptr);
    ~TfrmMain() override;

    // The account book (categories.dat and items.dat), shown by tvwMain.
    TAccountBook &Book() const { return *m_book; }

    // --- What tests and benchmarks set in place of the user's world ---
    // The clock the payment reminders read; tests hand in a fixed day.
    void SetToday(std::function<QDate()> today) { m_today = std::move(today); }
    // A book whose items.dat is at least this large is written by a thread of
    // its own from a snapshot, after the same backup step; smaller ones are
    // written before Save returns (main_window_saving.cpp).
    void SetBackgroundSaveFrom(qint64 bytes);
    // Blocks until every write of the book posted so far is committed or has
    // failed, and reports what failed. Closing the window waits the same way.
    void WaitForSaves();
    // The CSV file choosers and the import preview (main_window_csv.cpp):
    // each chooser gives a path or an empty string for none; the preview is
    // true when the user chose to import.
    void SetCsvExportChooser(std::function<QString()> choose);
    void SetCsvImportChooser(std::function<QString()> choose);
    void SetCsvImportPreview(std::function<bool(const TImportPlan &plan, const QString &path)> confirm);

private:
    const QString &AppFolder() const { return m_appFolder; }
    TMessageService &Messages() const { return *msgMain; }

    // --- Life cycle (main_window.cpp) ---
    void FormCreate();
    void FormShow();
    void FormResize();
    void FormClose();
    void FormDestroy();
    void bsSkinButton1Click();
    // Banner centring of FormShow and FormResize.
    void CentreBanner();

    // --- Account book: files, tree and item editor, commands (main_window_book.cpp) ---
    // Reads the book's files into the book; a file that cannot be read
    // throws, the items staying unread after a failed categories.dat.
    void LoadBook();
    // After a load: tells of records cut short and of items whose category
    // is missing, and offers to add those categories. Once per run; a later
    // load tells again only when it finds more of either than was told.
    void TellLoadDamage();
    void SaveCategories();
    void SaveItems();
    void btnAddCategoryClick();
    void AddCategory1Click();
    void btnAddItemClick();
    void AddItem1Click();
    void EditCategory1Click();
    void DeleteCategory1Click();
    void DeleteItem1Click();
    void bsSkinPopupMenu1Popup();
    void AddCategory();
    void AddItem();
    // `withName`: the dialog starts from the category's name (F2).
    void EditCategory(bool withName = false);
    void DeleteCategory();
    void DeleteItem();
    // Shows the input dialog; true with the typed text when OK closed it.
    bool AskElement(const QString &caption, const QString &label, QByteArray *value);

    // --- Keeping the book safe (main_window_backup.cpp, main_window_editing.cpp) ---
    // Before saving a command that deletes, moves or duplicates: the next
    // backup step keeps the book whatever the spacing of backups
    // (TBookFolder::BackupBeforeNextSave).
    void BackupBeforeNextSave();
    // Writes categories.dat (with `categories`) and items.dat, both or
    // neither, after the backup step. On failure tells why, shows the book
    // as its files hold it again (nothing half-done stays on screen) and
    // returns false.
    bool SaveBook(bool categories);
    // Builds the tree and the lists again from the files; nothing selected.
    void ReloadBook();
    void actRestoreBackupClick();
    // The save question for unsaved typing; false keeps the window open.
    bool FormCloseQuery();

    // --- Copy, move, duplicate and keys (main_window_commands.cpp) ---
    // Shows the added pop-up entries for an item and lists the categories
    // "Move Item To…" offers; runs as the pop-up opens.
    void CommandsPopup();
    // Puts the whole text the field shows on Clipboard while an item is shown.
    void CopyField(QLineEdit *field);
    void DuplicateItem();
    // Delete on the tree: the pop-up's Delete Item or Delete Category.
    void DeleteNode();
    // The selected node as a node of the book, also when the tree shows the
    // book through another model.
    QModelIndex SelectedNode() const;
    // Selects a node of the book, shows it and its category.
    void SelectNode(const QModelIndex &node);

    // --- Web panel (main_window_web.cpp) ---
    // Creates EmbeddedWB1 with its profile in the application folder; the web
    // engine itself starts with the first navigation.
    QWidget *CreateWebBrowser(QWidget *parent);
    void bsSkinSpeedButton1Click();
    void bsSkinSpeedButton2Click();
    void bsSkinSpeedButton3Click();
    void bsSkinSpeedButton4Click();
    void bsSkinButton2Click();
    void btnBrowseWebsiteClick();
    void btnBrowseLoginClick();
    void btnBrowseAffiliateClick();
    void btnBrowseCloakedClick();
    void btnUPasteClick();
    void btnPPasteClick();

    // --- Branding, promotion and About box (main_window_branding.cpp) ---
    void LoadBrandingSettings();
    void ShowWelcomePage();
    // The parts of LoadBrandingSettings that apply the publisher's files to
    // the window (the banner and links are the publisher services').
    void ApplySkinFile();
    void ApplyIconFile();
    void btnHelpClick();
    void btnAboutClick();

    // --- Payment reminders and the window's layout (main_window_reminders.cpp) ---
    // The toolbar's button, and a click on the balloon, open the list of
    // payments, which holds the reminders' switch.
    QToolButton *btnReminders = nullptr;
    TMessageHint *hntReminders = nullptr;
    TPaymentsWindow *m_payments = nullptr;
    void ShowPayments();
    // A double-click in the list: the item shown in the tree.
    void PaymentChosen(qsizetype record);
    // The balloon again, on the day it was closed.
    void ShowReminderAgain();
    void ShowReminderBalloon(const QString &text);
    // Runs when the news tick is done (its quiet update check included); a
    // news balloon it left showing is let close first.
    void RemindAfterNews();
    // The balloon naming the programs that pay today or in the next three
    // days, at most once a day per application folder and only when the
    // reminders are on.
    void ShowPaymentReminder();
    void RemindersSwitched(bool on);
    // Size, position (brought onto a screen) and splitters as the window was
    // last closed in this folder; SaveWindowLayout keeps them at close.
    void RestoreWindowLayout();
    void SaveWindowLayout();

private:
    void SetUpRemindersAndLayout();
    std::function<QDate()> m_today;
    TWindowState m_windowState;
    QTimer *m_newsBalloonWait = nullptr;

    // --- CSV import and export (main_window_csv.cpp) ---
    void actExportCsvClick();
    void actImportCsvClick();
    std::function<QString()> ChooseCsvExportFile;
    std::function<QString()> ChooseCsvImportFile;
    std::function<bool(const TImportPlan &plan, const QString &path)> ConfirmCsvImport;

private:
    void ConnectCsvHandlers();

private:
    // The publisher's services (publisher_services.h): news, update check,
    // banner and links; these handlers only hand over to them.
    TPublisherServices *m_services = nullptr;
    void Timer1Timer();
    void btnNewsClick();
    void btnUpdateClick();
    void imgBannerClick();
    void gifBannerClick();

private:
    // --- Saving a large book without holding up the window (main_window_saving.cpp) ---
    // Tells what a save of one file came to: a failed backup once per run;
    // a failed write throws, so the command that saved goes no further.
    void TellSave(const TBookSave &save);
    // The same for a save of both files (SaveBook): a failed write is told
    // with the state the files are in, the book is shown as they hold it
    // again, and the result is false.
    bool TellBookSave(const TBookSave &save);
    void BookSaved(const QString &error, const QString &backupFolder, const QString &backupError);
    // The warning that no backup could be kept, once per run.
    void TellBackupFailure(const QString &folder, const QString &error);

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void BuildControls();
    QWidget *BuildMainPage();
    QFrame *BuildToolbar();
    QFrame *BuildBanner();
    QFrame *BuildItemEditor();
    QFrame *BuildBrowserBar();
    QFrame *BuildLinkBar();
    void ConnectHandlers();
    // Each area connects its own controls.
    void ConnectBookHandlers();
    void ConnectWebHandlers();
    void ConnectBrandingHandlers();
    void ConnectServiceHandlers();
    void ConnectEditingHandlers();
    void ConnectCommandHandlers();
    // Fills btnMenu's menu with the actions the other areas made.
    void ConnectMenuHandlers();
    // Search over the tree (main_window_search.cpp): builds edtSearch above
    // tvwMain, Ctrl+F and Esc.
    void ConnectSearchHandlers();
    bool m_backupFailureTold = false;
    // The most of each kind of damage told so far (TellLoadDamage).
    qsizetype m_cutShortTold = 0;
    qsizetype m_withoutCategoryTold = 0;
    void ApplyBuiltInSkin();

    // Turns a book operation's refusal into its message.
    void ShowBookRefusal(int outcome);

    // The item editor's handlers; the editor (TItemEditor) holds the fields
    // and the unsaved-typing flag, m_commands the decisions.
    void tvwMainChange();
    void tvwMainChanging(const QModelIndex &from, const QModelIndex &to, bool &allowChange);
    void edtTitleKeyDown();
    void btnSaveClick();
    void StoreItem();
    // The save question before a command that leaves the shown item; false
    // when the user kept the typing. Yes stores it, No drops it.
    bool SettleTyping();
    // With no item selected the fields take no typing that could not be stored.
    void UpdateItemFieldsReadOnly();
    TItemEditor *m_editor = nullptr;
    TBookCommands *m_commands = nullptr;
    TUndoDelete *m_undo = nullptr; // the deletes and their undo

    QString m_appFolder;
    std::unique_ptr<TMessageService> m_ownMessages;
    TBookFolder *m_folder = nullptr;
    TAccountBook *m_book = nullptr; // the folder's
};
