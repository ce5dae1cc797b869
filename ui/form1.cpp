#include "ui/form1.h"

#include <utility>

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

}  // namespace

Form1::Form1(Resolver& resolver, UrlOpener openUrl, TxtFetcher fetchTxt, const Catalog* catalog)
    : QWidget(nullptr, kFrame), m_resolver(resolver), m_openUrl(std::move(openUrl)) {
    applyForm1Font(*this);
    m_controls = createForm1Controls(*this);
    m_reasons = std::make_unique<ListingReasons>(m_controls, std::move(fetchTxt), catalog);
    setWindowIcon(ostrivaneIcon());

    connect(m_controls.Command1, &QPushButton::clicked, this, &Form1::lookItUp);
    connect(m_controls.Reset, &QPushButton::clicked, this, &Form1::confirmReset);
    for (int row = 0; row < kRowCount; ++row) {
        connect(m_controls.Command2[static_cast<std::size_t>(row)], &QPushButton::clicked, this,
                [this, row] { openInformationPage(row); });
    }
    m_controls.Text55->installEventFilter(this);
    m_controls.Label4a->installEventFilter(this);
}

Form1::~Form1() {
    setBusyPointer(false);
}

void Form1::load(const std::filesystem::path& listFile) {
    m_listFile = startUp(m_table, listFile);
    m_loadProblemToTell = m_listFile->loadProblem.has_value();
}

void Form1::lookItUp() {
    if (m_closed) {
        return;
    }
    ++m_runsInProgress;
    // The run writes its results under the host it read; a host typed in the
    // meantime would stand above another host's results.
    m_controls.Text55->setReadOnly(true);
    const LookupSummary summary = LookupRun(m_table, *this, m_resolver);
    --m_runsInProgress;
    m_controls.Text55->setReadOnly(m_runsInProgress > 0);
    // The reasons are asked once the run is over, never among its steps. A run
    // that ran inside another's yield leaves them to the outer run, which is
    // about to clear and redo every row.
    if (summary.outcome == LookupOutcome::Completed && m_runsInProgress == 0) {
        m_reasons->explainListedRows(m_table, summary.rows);
    }
}

void Form1::openInformationPage(int row) {
    const std::string name = m_table.name(row);
    if (name.empty()) {
        return;
    }
    m_openUrl(informationPageFor(name));
}

void Form1::confirmReset() {
    QMessageBox box(QMessageBox::NoIcon, toQString(kResetTitle), toQString(kResetPrompt),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setDefaultButton(QMessageBox::Yes);
    if (box.exec() == QMessageBox::Yes) {
        loadDefaultBlacklists(m_table);
    }
}

void Form1::openMakerPage() {
    m_openUrl(std::string(kMakerPageAddress));
}

std::string Form1::hostText() const {
    return toStdString(m_controls.Text55->text());
}

void Form1::setHostText(std::string_view text) {
    m_controls.Text55->setText(toQString(text));
}

// A flag rather than a count: a run started inside another's yield restores
// the normal pointer at its end, as the outer run does again at its own.
void Form1::setBusyPointer(bool busy) {
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

void Form1::setLookupEnabled(bool enabled) {
    m_controls.Command1->setEnabled(enabled);
}

bool Form1::yieldToEvents() {
    if (m_closed) {
        return false;
    }
    QCoreApplication::processEvents();
    return !m_closed;
}

void Form1::showMessage(std::string_view prompt, std::string_view title) {
    QMessageBox box(QMessageBox::NoIcon, toQString(title), toQString(prompt), QMessageBox::Ok,
                    this);
    box.exec();
}

void Form1::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (m_runsInProgress == 0) {
        m_closed = false;
    }
    if (m_loadProblemToTell) {
        m_loadProblemToTell = false;
        // After the window has appeared, so the user sees what the message is about.
        QTimer::singleShot(0, this, &Form1::tellLoadProblem);
    }
}

void Form1::tellLoadProblem() {
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

bool Form1::mayCloseWithoutSaving(const QString& why) {
    const QString text = why + QStringLiteral(
                                   "\n\nClose without saving your changes to the list, or stay "
                                   "in the window?");
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Couldn't Save Blacklists"), text,
                    QMessageBox::NoButton, this);
    QPushButton* close =
        box.addButton(QStringLiteral("Close Without Saving"), QMessageBox::DestructiveRole);
    QPushButton* stay = box.addButton(QStringLiteral("Stay"), QMessageBox::RejectRole);
    box.setDefaultButton(stay);
    box.setEscapeButton(stay);
    box.exec();
    return box.clickedButton() == close;
}

Form1::OverwriteChoice Form1::askBeforeOverwriting() {
    const QString text =
        QStringLiteral(
            "The list of blacklists was changed on disk since the window opened:\n%1\n\n"
            "Save the window's list over it, or keep the file's version and lose your "
            "changes in the window?")
            .arg(toQString(m_listFile->path.string()));
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Blacklists Changed on Disk"), text,
                    QMessageBox::NoButton, this);
    QPushButton* save = box.addButton(QStringLiteral("Save"), QMessageBox::AcceptRole);
    QPushButton* keep =
        box.addButton(QStringLiteral("Keep the File's Version"), QMessageBox::DestructiveRole);
    QPushButton* stay = box.addButton(QStringLiteral("Stay"), QMessageBox::RejectRole);
    box.setDefaultButton(save);
    box.setEscapeButton(stay);
    box.exec();
    if (box.clickedButton() == save) {
        return OverwriteChoice::Save;
    }
    return box.clickedButton() == keep ? OverwriteChoice::KeepFile : OverwriteChoice::Stay;
}

bool Form1::keepListAtClose() {
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

void Form1::closeEvent(QCloseEvent* event) {
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

void Form1::dismissOpenBoxes() {
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

void Form1::closeWithoutAsking() {
    m_closingWithoutAsking = true;
    dismissOpenBoxes();
    // From the event loop: a close that was waiting in one of those boxes
    // finishes first, now without asking.
    QTimer::singleShot(0, this, [this] { close(); });
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_controls.Text55 && event->type() == QEvent::KeyPress) {
        return hostKeyPressed(*static_cast<QKeyEvent*>(event));
    }
    if (watched == m_controls.Label4a && event->type() == QEvent::MouseButtonRelease) {
        // Any button: the right and middle ones open the page as the left one does.
        openMakerPage();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

// Enter in the host field is swallowed, so the field never receives it, and
// looks the host up. While a run is in progress, Enter is swallowed and
// ignored: a second run inside the first would only redo the same work.
bool Form1::hostKeyPressed(const QKeyEvent& key) {
    if (key.key() != Qt::Key_Return && key.key() != Qt::Key_Enter) {
        return false;
    }
    if (!lookupInProgress()) {
        lookItUp();
    }
    return true;
}

}  // namespace ostrivane
