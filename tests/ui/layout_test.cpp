#include <iterator>
#include <string>
#include <vector>

#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTest>

#include "support/scripted_resolver.h"
#include "ui/main_window.h"
#include "ui/qt_text.h"

namespace ostrivane {
namespace {

QString rowName(const char* array, int row) {
    return QStringLiteral("%1_%2").arg(QLatin1String(array)).arg(row);
}

// The design's tab order as the user walks it: the host field and the two
// buttons, the first ten rows left to right, the next nine right to left,
// every row's information button, then the last row left to right.
const char* const kTabOrder[] = {
    "Text55",      "Command1",    "Reset",       "Text1_0",     "Text2_0",     "Text3_0",
    "Text1_1",     "Text2_1",     "Text3_1",     "Text1_2",     "Text2_2",     "Text3_2",
    "Text1_3",     "Text2_3",     "Text3_3",     "Text1_4",     "Text2_4",     "Text3_4",
    "Text1_5",     "Text2_5",     "Text3_5",     "Text1_6",     "Text2_6",     "Text3_6",
    "Text1_7",     "Text2_7",     "Text3_7",     "Text1_8",     "Text2_8",     "Text3_8",
    "Text1_9",     "Text2_9",     "Text3_9",     "Text3_10",    "Text2_10",    "Text1_10",
    "Text3_11",    "Text2_11",    "Text1_11",    "Text3_12",    "Text2_12",    "Text1_12",
    "Text3_13",    "Text2_13",    "Text1_13",    "Text3_14",    "Text2_14",    "Text1_14",
    "Text3_15",    "Text2_15",    "Text1_15",    "Text3_16",    "Text2_16",    "Text1_16",
    "Text3_17",    "Text2_17",    "Text1_17",    "Text3_18",    "Text2_18",    "Text1_18",
    "Command2_0",  "Command2_1",  "Command2_2",  "Command2_3",  "Command2_4",  "Command2_5",
    "Command2_6",  "Command2_7",  "Command2_8",  "Command2_9",  "Command2_10", "Command2_11",
    "Command2_12", "Command2_13", "Command2_14", "Command2_15", "Command2_16", "Command2_17",
    "Command2_18", "Command2_19", "Text1_19",    "Text2_19",    "Text3_19"};

constexpr int kTabStops = static_cast<int>(std::size(kTabOrder));

}  // namespace

class LayoutTest : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void init() {
        m_form = std::make_unique<MainWindow>(m_resolver, [](const std::string&) {});
    }
    void cleanup() { m_form.reset(); }

    void geometry_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("expected");
        // Pixel figures of the drawing at 96 dpi.
        const std::vector<std::pair<const char*, QRect>> singles{
            {"Label5", {4, 5, 101, 17}},      {"Text55", {112, 2, 233, 21}},
            {"Command1", {348, 2, 117, 21}},  {"Label2", {4, 26, 81, 13}},
            {"Label1", {153, 26, 97, 13}},    {"Label3", {304, 26, 69, 13}},
            {"Reset", {352, 520, 113, 33}},   {"Label6a", {3, 529, 201, 13}},
            {"Label4a", {188, 529, 149, 13}},
        };
        for (const auto& [name, rect] : singles) {
            QTest::newRow(name) << QString::fromLatin1(name) << rect;
        }
        for (int row = 0; row < kRowCount; ++row) {
            const int top = 40 + 24 * row;
            for (const auto& [array, left, width] :
                 {std::tuple{"Text1", 4, 147}, std::tuple{"Text2", 153, 147},
                  std::tuple{"Text3", 303, 147}, std::tuple{"Command2", 452, 13}}) {
                const QString name = rowName(array, row);
                QTest::newRow(qPrintable(name)) << name << QRect(left, top, width, 21);
            }
        }
    }
    void geometry() {
        QFETCH(QString, name);
        QFETCH(QRect, expected);
        auto* control = m_form->findChild<QWidget*>(name);
        QVERIFY2(control != nullptr, qPrintable(name));
        QCOMPARE(control->geometry(), expected);
        QVERIFY(control->isEnabled());
    }

    void windowFrame() {
        QCOMPARE(m_form->windowTitle(), QStringLiteral("Ostrivane"));
        QCOMPARE(m_form->size(), QSize(467, 555));
        QCOMPARE(m_form->minimumSize(), QSize(467, 555));
        QCOMPARE(m_form->maximumSize(), QSize(467, 555));
        const Qt::WindowFlags flags = m_form->windowFlags();
        QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
        QVERIFY(flags.testFlag(Qt::WindowMinimizeButtonHint));
        QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
        QVERIFY(flags.testFlag(Qt::WindowSystemMenuHint));
        const QList<QSize> sizes = m_form->windowIcon().availableSizes();
        for (int size : {16, 32, 48, 64, 128, 256}) {
            QVERIFY2(sizes.contains(QSize(size, size)), qPrintable(QString::number(size)));
        }
    }

    void minimiseAndRestoreKeepTheLayout() {
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
        m_form->showMinimized();
        m_form->showNormal();
        QCOMPARE(m_form->size(), QSize(467, 555));
        QCOMPARE(m_form->controls().resetButton->geometry(), QRect(352, 520, 113, 33));
    }

    void captionsAndToolTips_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("toolTip");
        const QString none;
        QTest::newRow("Label5") << "Label5"
                                << "Host or IP to Lookup:" << none;
        QTest::newRow("Command1") << "Command1"
                                  << "Look it up!" << none;
        QTest::newRow("Label2") << "Label2"
                                << "Blacklist Name" << none;
        QTest::newRow("Label1") << "Label1"
                                << "DNS Zone" << none;
        QTest::newRow("Label3") << "Label3"
                                << "Result" << none;
        QTest::newRow("Label6a") << "Label6a"
                                 << "For automated blacklist monitoring see:" << none;
        QTest::newRow("Label4a") << "Label4a"
                                 << "www.ostrivane.example" << none;
    }
    void captionsAndToolTips() {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QFETCH(QString, toolTip);
        QWidget* control = m_form->findChild<QWidget*>(name);
        QVERIFY(control != nullptr);
        if (auto* label = qobject_cast<QLabel*>(control)) {
            QCOMPARE(label->text(), caption);
        } else {
            QCOMPARE(qobject_cast<QPushButton*>(control)->text(), caption);
        }
        QCOMPARE(control->toolTip(), toolTip);
    }

    void everyInformationButton() {
        for (QPushButton* button : m_form->controls().infoButtons) {
            QCOMPARE(button->text(), QStringLiteral("?"));
            QCOMPARE(button->toolTip(), QStringLiteral("Info on Blacklist from Web"));
        }
    }

    void resetCaptionWrapsOntoTwoLines() {
        QPushButton* reset = m_form->controls().resetButton;
        const QStringList lines = reset->text().split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines.join(QLatin1Char(' ')), QStringLiteral("Reset to Default Blacklists"));
        const int room =
            reset->width() - 2 * reset->style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
        for (const QString& line : lines) {
            QVERIFY2(reset->fontMetrics().horizontalAdvance(line) <= room, qPrintable(line));
        }
        QVERIFY(2 * reset->fontMetrics().height() <= reset->height());
    }

    void noButtonIsDefault() {
        for (QPushButton* button : m_form->findChildren<QPushButton*>()) {
            QVERIFY2(!button->isDefault() && !button->autoDefault(),
                     qPrintable(button->objectName()));
        }
    }

    void noCellIsReadOnlyOrLimited() {
        for (QLineEdit* cell : m_form->findChildren<QLineEdit*>()) {
            QVERIFY(!cell->isReadOnly());
            QCOMPARE(cell->echoMode(), QLineEdit::Normal);
        }
        const QString longName(40000, QLatin1Char('x'));
        m_form->controls().nameCells[0]->setText(longName);
        QCOMPARE(m_form->controls().nameCells[0]->text().size(), longName.size());
    }

    void linkLabelLooksLikeALink() {
        QLabel* link = m_form->controls().makerLink;
        QCOMPARE(link->palette().color(link->foregroundRole()), QColor(0, 0, 255));
        QVERIFY(link->font().underline());
        QCOMPARE(link->font().pointSizeF(), m_form->font().pointSizeF());
        QVERIFY(link->font().weight() == QFont::Normal && !link->font().italic());
        QCOMPARE(link->cursor().shape(), Qt::WhatsThisCursor);
        QCOMPARE(m_form->controls().monitoringNote->cursor().shape(), Qt::ArrowCursor);
        QVERIFY(!m_form->controls().monitoringNote->font().underline());
    }

    void linkLiesAboveTheLabelItOverlaps() {
        // The two boxes share x 188 to 203: there the link must be on top.
        QCOMPARE(m_form->childAt(190, 535), m_form->controls().makerLink);
        QCOMPARE(m_form->childAt(100, 535), m_form->controls().monitoringNote);
    }

    void fontIsASmallSansSerif() {
        const QFont font = m_form->font();
        QCOMPARE(font.pointSizeF(), 8.25);
        QVERIFY(!font.bold() && !font.italic() && !font.underline());
        QCOMPARE(m_form->controls().nameCells[3]->font(), font);
        qInfo("window font: %s", qPrintable(QFontInfo(font).family()));
    }

    // Each 21-pixel cell shows one full line, and every label's text fits the
    // part of its box that nothing covers.
    void textsFitTheirBoxes() {
        QLineEdit* cell = m_form->controls().zoneCells[7];
        const int frame = cell->style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
        QVERIFY2(cell->fontMetrics().height() + 2 * frame + 2 <= cell->height(),
                 qPrintable(QString::number(cell->fontMetrics().height())));
        const MainWindowControls& c = m_form->controls();
        for (QLabel* label : {c.hostPrompt, c.nameHeading, c.zoneHeading, c.resultHeading,
                              c.monitoringNote, c.makerLink}) {
            int room = label->width();
            if (label == c.monitoringNote) {
                room = c.makerLink->x() - c.monitoringNote->x();
            }
            const QFontMetrics metrics = label->fontMetrics();
            QVERIFY2(metrics.horizontalAdvance(label->text()) <= room,
                     qPrintable(label->objectName()));
            QVERIFY2(metrics.height() <= label->height(), qPrintable(label->objectName()));
        }
    }

    void labelsNeverTakeTheFocus() {
        for (QLabel* label : m_form->findChildren<QLabel*>()) {
            QCOMPARE(label->focusPolicy(), Qt::NoFocus);
        }
    }

    void tabWalksTheDesignedOrder() {
        showActive();
        QCOMPARE(focusName(), QStringLiteral("Text55"));
        for (int i = 1; i <= kTabStops; ++i) {
            QTest::keyClick(m_form->focusWidget(), Qt::Key_Tab);
            QCOMPARE(focusName(), QString::fromLatin1(kTabOrder[i % kTabStops]));
        }
    }

    void shiftTabWalksItBackwards() {
        showActive();
        for (int i = kTabStops - 1; i >= 0; --i) {
            QTest::keyClick(m_form->focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
            QCOMPARE(focusName(), QString::fromLatin1(kTabOrder[i]));
        }
    }

    void enterAndEscapeElsewhereDoNothing() {
        showActive();
        m_form->controls().hostField->setText(QStringLiteral("mail.example.test"));
        m_form->controls().nameCells[2]->setFocus();
        QTest::keyClick(m_form->controls().nameCells[2], Qt::Key_Return);
        QTest::keyClick(m_form->controls().nameCells[2], Qt::Key_Escape);
        QVERIFY(m_form->isVisible());
        QVERIFY(m_resolver.asked().empty());
    }

  private:
    void showActive() {
        m_form->show();
        m_form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    }
    QString focusName() const {
        return m_form->focusWidget() ? m_form->focusWidget()->objectName() : QString();
    }

    testing::ScriptedResolver m_resolver;
    std::unique_ptr<MainWindow> m_form;
};

}  // namespace ostrivane

QTEST_MAIN(ostrivane::LayoutTest)
#include "layout_test.moc"
