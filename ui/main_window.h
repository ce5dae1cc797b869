#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <QWidget>

#include "catalog/catalog.h"
#include "core/lookup_view.h"
#include "core/resolver.h"
#include "core/test_points.h"
#include "persist/startup.h"
#include "ui/cell_table.h"
#include "ui/main_window_controls.h"
#include "ui/open_in_shell.h"
#include "ui/txt_records.h"

class QCloseEvent;
class QKeyEvent;
class QShowEvent;

namespace ostrivane {

class ListingReasons;

// The one window: the host field, the table of blacklists and the commands
// behind its buttons, keys and link. Its cells are the blacklist table and it
// is the view of the lookup run; each handler calls one routine of the engine.
class MainWindow final : public QWidget, public LookupView {
    Q_OBJECT

  public:
    // The resolver must outlive the window. The opener receives every address
    // the window opens (information pages and the maker's page). The fetcher
    // asks for the TXT records that explain a listing (fetchTxtRecords in the
    // program); without one, listed rows get no tool tip and the window asks
    // nothing but the run's own questions.
    // The catalog, when given, must outlive the window: it explains the answers.
    // With `testPoints` (the program always gives them), each run ends by
    // asking the lists' test points, and the rows of broken lists say so.
    MainWindow(Resolver& resolver, UrlOpener openUrl, TxtFetcher fetchTxt = {},
               const Catalog* catalog = nullptr,
               std::optional<TestPointAsker> testPoints = std::nullopt);
    ~MainWindow() override;

    const MainWindowControls& controls() const { return m_controls; }
    BlacklistTable& table() { return m_table; }

    // The window's load, before it is first shown: fills the table from the
    // list file (or the defaults) and keeps the file for the save at close.
    // A file that could not be read is reported once the window is up.
    void load(const std::filesystem::path& listFile);

    // The commands.
    void lookItUp();
    void openInformationPage(int row);
    void confirmReset();
    void openMakerPage();
    bool lookupInProgress() const { return m_runsInProgress > 0; }

    // A close nobody can answer (the session ends, the service stops): any box
    // waiting for an answer goes, then the window closes, saving the list when
    // it can and asking nothing. After a conflict with the file on disk the
    // window's list is saved; edits that cannot be saved are dropped.
    void closeWithoutAsking();
    // Why the list could not be saved at a close that asked nothing.
    const std::optional<FileProblem>& unsavedAtClose() const { return m_unsavedAtClose; }

    // LookupView
    std::string hostText() const override;
    void setHostText(std::string_view text) override;
    void setBusyPointer(bool busy) override;
    void setLookupEnabled(bool enabled) override;
    [[nodiscard]] bool yieldToEvents() override;
    void showMessage(std::string_view prompt, std::string_view title) override;

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    bool hostKeyPressed(const QKeyEvent& key);
    void tellLoadProblem();
    // False when the user chose to stay in the window.
    bool keepListAtClose();
    bool mayCloseWithoutSaving(const QString& why);
    enum class OverwriteChoice { Save, KeepFile, Stay };
    OverwriteChoice askBeforeOverwriting();
    void dismissOpenBoxes();

    MainWindowControls m_controls;
    CellTable m_table{m_controls};
    Resolver& m_resolver;
    std::optional<TestPointAsker> m_testPoints;
    UrlOpener m_openUrl;
    std::unique_ptr<ListingReasons> m_reasons;
    std::optional<ListFileState> m_listFile;
    bool m_loadProblemToTell = false;
    bool m_busy = false;
    // Set once the window has closed under a run: the run stops at its next yield.
    bool m_closed = false;
    bool m_closingWithoutAsking = false;
    std::optional<FileProblem> m_unsavedAtClose;
    int m_runsInProgress = 0;
};

}  // namespace ostrivane
