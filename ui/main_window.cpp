#include "ui/main_window.h"

#include <cstddef>
#include <utility>
#include <vector>

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>

#include "core/information_page.h"
#include "core/lookup_run.h"
#include "ui/listing_reasons.h"
#include "ui/maker_page.h"
#include "ui/qt_text.h"
#include "ui/window_icon.h"

namespace ostrivane {

namespace {

// A title bar with the window menu, minimise and close, but no maximise: the
// window has one size.
constexpr Qt::WindowFlags kFrame = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint;

constexpr std::string_view kResetPrompt =
    "This will reset any custom blacklists you've defined.  Do you want to continue?";
constexpr std::string_view kResetTitle = "Reset Blacklists?";

struct BoxButton {
    QString text;
    QMessageBox::ButtonRole role;
};

// A warning with the buttons in this order; the index of the one clicked, or
// the escape button's when the box was closed without a click.
std::size_t askWarning(QWidget* parent, const QString& title, const QString& text,
                       const std::vector<BoxButton>& buttons, std::size_t defaultButton,
                       std::size_t escapeButton) {
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::NoButton, parent);
    std::vector<QPushButton*> added;
    for (const auto& button : buttons) {
        added.push_back(box.addButton(button.text, button.role));
    }
    box.setDefaultButton(added[defaultButton]);
    box.setEscapeButton(added[escapeButton]);
    box.exec();
    for (std::size_t i = 0; i < added.size(); ++i) {
        if (box.clickedButton() == added[i]) {
            return i;
        }
    }
    return escapeButton;
}

}  // namespace

MainWindow::MainWindow(Resolver& resolver, UrlOpener openUrl, TxtFetcher fetchTxt,
                       const Catalog* catalog, std::optional<TestPointAsker> testPoints)
    : QWidget(nullptr, kFrame),
      m_resolver(resolver),
      m_testPoints(std::move(testPoints)),
      m_openUrl(std::move(openUrl)) {
    applyMainWindowFont(*this);
    m_controls = createMainWindowControls(*this);
    m_reasons = std::make_unique<ListingReasons>(m_controls, std::move(fetchTxt), catalog);
    setWindowIcon(ostrivaneIcon());

    connect(m_controls.lookupButton, &QPushButton::clicked, this, &MainWindow::lookItUp);
    connect(m_controls.resetButton, &QPushButton::clicked, this, &MainWindow::confirmReset);
    for (int row = 0; row < kRowCount; ++row) {
        connect(m_controls.infoButtons[static_cast<std::size_t>(row)], &QPushButton::clicked, this,
                [this, row] { openInformationPage(row); });
    }
    m_controls.hostField->installEventFilter(this);
    m_controls.makerLink->installEventFilter(this);
}

MainWindow::~MainWindow() {
    setBusyPointer(false);
}

void MainWindow::load(const std::filesystem::path& listFile) {
    m_listFile = startUp(m_table, listFile);
    m_loadProblemToTell = m_listFile->loadProblem.has_value();
}

void MainWindow::lookItUp() {
    if (m_closed) {
        return;
    }
    ++m_runsInProgress;
    // The run writes its results under the host it read; a host typed in the
    // meantime would stand above another host's results.
    m_controls.hostField->setReadOnly(true);
    const LookupSummary summary = runLookup(m_table, *this, m_resolver, pauseBeforeQuery,
                                            m_testPoints ? &*m_testPoints : nullptr);
    --m_runsInProgress;
    m_controls.hostField->setReadOnly(m_runsInProgress > 0);
    // The reasons are asked once the run is over, never among its steps. A run
    // that ran inside another's yield leaves them to the outer run, which is
    // about to clear and redo every row.
    if (summary.outcome == LookupOutcome::Completed && m_runsInProgress == 0) {
        m_reasons->explainListedRows(m_table, summary.rows);
    }
}

void MainWindow::openInformationPage(int row) {
    const std::string name = m_table.name(row);
    if (name.empty()) {
        return;
    }
    m_openUrl(informationPageFor(name));
}

void MainWindow::confirmReset() {
    QMessageBox box(QMessageBox::NoIcon, toQString(kResetTitle), toQString(kResetPrompt),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setDefaultButton(QMessageBox::Yes);
    if (box.exec() == QMessageBox::Yes) {
        loadDefaultBlacklists(m_table);
    }
}

void MainWindow::openMakerPage() {
    m_openUrl(std::string(kMakerPageAddress));
}

std::string MainWindow::hostText() const {
    return toStdString(m_controls.hostField->text());
}

void MainWindow::setHostText(std::string_view text) {
    m_controls.hostField->setText(toQString(text));
}

// A flag rather than a count: a run started inside another's yield restores
// the normal pointer at its end, as the outer run does again at its own.
void MainWindow::setBusyPointer(bool busy) {
    if (busy == m_busy) {
        return;
    }
    m_busy = busy;
    if (busy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QApplication::restoreOverrideCursor();
    }
}

void MainWindow::setLookupEnabled(bool enabled) {
    m_controls.lookupButton->setEnabled(enabled);
}

bool MainWindow::yieldToEvents() {
    if (m_closed) {
        return false;
    }
    QCoreApplication::processEvents();
    return !m_closed;
}

void MainWindow::showMessage(std::string_view prompt, std::string_view title) {
    QMessageBox box(QMessageBox::NoIcon, toQString(title), toQString(prompt), QMessageBox::Ok,
                    this);
    box.exec();
}

void MainWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (m_runsInProgress == 0) {
        m_closed = false;
    }
    if (m_loadProblemToTell) {
        m_loadProblemToTell = false;
        // After the window has appeared, so the user sees what the message is about.
        QTimer::singleShot(0, this, &MainWindow::tellLoadProblem);
    }
}

void MainWindow::tellLoadProblem() {
    if (!m_listFile || !m_listFile->loadProblem) {
        return;
    }
    const QString text = QStringLiteral(
                             "The list of blacklists could not be read:\n%1\n\n"
                             "The default blacklists are shown instead, and the file will be left "
                             "as it is.")
                             .arg(toQString(m_listFile->loadProblem->message()));
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Couldn't Read Blacklists"), text,
                    QMessageBox::Ok, this);
    box.exec();
}

bool MainWindow::mayCloseWithoutSaving(const QString& why) {
    const QString text = why + QStringLiteral(
                                   "\n\nClose without saving your changes to the list, or stay "
                                   "in the window?");
    const std::size_t clicked =
        askWarning(this, QStringLiteral("Couldn't Save Blacklists"), text,
                   {{QStringLiteral("Close Without Saving"), QMessageBox::DestructiveRole},
                    {QStringLiteral("Stay"), QMessageBox::RejectRole}},
                   1, 1);
    return clicked == 0;
}

MainWindow::OverwriteChoice MainWindow::askBeforeOverwriting() {
    const QString text =
        QStringLiteral(
            "The list of blacklists was changed on disk since the window opened:\n%1\n\n"
            "Save the window's list over it, or keep the file's version and lose your "
            "changes in the window?")
            .arg(toQString(m_listFile->path.string()));
    const std::size_t clicked =
        askWarning(this, QStringLiteral("Blacklists Changed on Disk"), text,
                   {{QStringLiteral("Save"), QMessageBox::AcceptRole},
                    {QStringLiteral("Keep the File's Version"), QMessageBox::DestructiveRole},
                    {QStringLiteral("Stay"), QMessageBox::RejectRole}},
                   0, 2);
    if (clicked == 0) {
        return OverwriteChoice::Save;
    }
    return clicked == 1 ? OverwriteChoice::KeepFile : OverwriteChoice::Stay;
}

bool MainWindow::keepListAtClose() {
    ListFileState& state = *m_listFile;
    switch (closeStepFor(m_table, state)) {
        case CloseStep::KeepFile:
            return true;
        case CloseStep::AskBeforeDropping: {
            const QString why = QStringLiteral(
                                    "The list of blacklists could not be read when the window "
                                    "opened, so your changes cannot be saved to it:\n%1")
                                    .arg(toQString(state.loadProblem->message()));
            // Asked or not, the file is not the window's to replace; a box
            // dismissed by a close that asks nothing lets the window go.
            if (m_closingWithoutAsking) {
                return true;
            }
            const bool dropEdits = mayCloseWithoutSaving(why);
            return dropEdits || m_closingWithoutAsking;
        }
        case CloseStep::AskBeforeOverwriting:
            if (!m_closingWithoutAsking) {
                const OverwriteChoice choice = askBeforeOverwriting();
                if (m_closingWithoutAsking) {
                    break;  // the box was dismissed by a close that asks nothing
                }
                if (choice != OverwriteChoice::Save) {
                    return choice == OverwriteChoice::KeepFile;
                }
            }
            break;
        case CloseStep::Save:
            break;
    }
    if (std::optional<FileProblem> problem = saveList(m_table, state)) {
        if (m_closingWithoutAsking) {
            m_unsavedAtClose = std::move(problem);
            return true;
        }
        const QString why = QStringLiteral("The list of blacklists could not be saved:\n%1")
                                .arg(toQString(problem->message()));
        const bool dropEdits = mayCloseWithoutSaving(why);
        if (m_closingWithoutAsking) {
            m_unsavedAtClose = std::move(problem);
            return true;
        }
        return dropEdits;
    }
    return true;
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (m_listFile && !keepListAtClose()) {
        event->ignore();
        return;
    }
    event->accept();
    // A run waiting in a yield stops there, without touching the table again;
    // it will not restore the pointer itself.
    m_closed = true;
    setBusyPointer(false);
    // Nobody will read the reasons now; the questions still open must not keep
    // the program alive.
    m_reasons->abandonQuestions();
}

void MainWindow::dismissOpenBoxes() {
    // Each box leaves the modal stack as it is rejected; the bound only
    // guards against one that will not go.
    for (int left = 16; left > 0; --left) {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr) {
            return;
        }
        if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            dialog->reject();
        } else {
            modal->hide();
        }
    }
}

void MainWindow::closeWithoutAsking() {
    m_closingWithoutAsking = true;
    dismissOpenBoxes();
    // From the event loop: a close that was waiting in one of those boxes
    // finishes first, now without asking.
    QTimer::singleShot(0, this, [this] { close(); });
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_controls.hostField && event->type() == QEvent::KeyPress) {
        return hostKeyPressed(*static_cast<QKeyEvent*>(event));
    }
    if (watched == m_controls.makerLink && event->type() == QEvent::MouseButtonRelease) {
        // Any button: the right and middle ones open the page as the left one does.
        openMakerPage();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

// Enter in the host field is swallowed, so the field never receives it, and
// looks the host up. While a run is in progress, Enter is swallowed and
// ignored: a second run inside the first would only redo the same work.
bool MainWindow::hostKeyPressed(const QKeyEvent& key) {
    if (key.key() != Qt::Key_Return && key.key() != Qt::Key_Enter) {
        return false;
    }
    if (!lookupInProgress()) {
        lookItUp();
    }
    return true;
}

}  // namespace ostrivane
