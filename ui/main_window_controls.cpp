#include "ui/main_window_controls.h"

#include <limits>
#include <string>

#include <QFont>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QWidget>

#include "ui/caption_wrap.h"
#include "ui/main_window_layout.h"
#include "ui/qt_text.h"

namespace ostrivane {

namespace {

constexpr double kFontPoints = 8.25;
constexpr const char* kDrawnFace = "MS Sans Serif";
constexpr int kStandInStretch = 96;  // per cent of the face's normal width

// The link label's pure blue.
const QColor kLinkColour{0, 0, 255};

// The room a button leaves for its caption, inside its frame and margins.
int captionWidth(const QPushButton& button) {
    QStyleOptionButton option;
    option.initFrom(&button);
    const QRect contents =
        button.style()->subElementRect(QStyle::SE_PushButtonContents, &option, &button);
    return contents.width() -
           button.style()->pixelMetric(QStyle::PM_ButtonMargin, &option, &button);
}

QLabel* createLabel(QWidget& form, ControlKind kind, std::string_view text) {
    auto* label = new QLabel(toQString(text), &form);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setFocusPolicy(Qt::NoFocus);
    if (kind == ControlKind::LinkLabel) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, kLinkColour);
        label->setPalette(palette);
        QFont font = label->font();
        font.setUnderline(true);
        label->setFont(font);
        label->setCursor(Qt::WhatsThisCursor);
        // Opaque, so the label it lies on shows nothing through the link.
        label->setAutoFillBackground(true);
    }
    return label;
}

QLineEdit* createTextBox(QWidget& form) {
    auto* box = new QLineEdit(&form);
    // A text box takes text of any length and scrolls it; Qt's default stops at 32767.
    box->setMaxLength(std::numeric_limits<int>::max());
    return box;
}

QPushButton* createPushButton(QWidget& form, std::string_view caption, std::string_view toolTip,
                              const QRect& geometry) {
    auto* button = new QPushButton(&form);
    // Enter and Esc press no button of this window.
    button->setAutoDefault(false);
    button->setDefault(false);
    // Placed first: the caption wraps to the room the button leaves.
    button->setGeometry(geometry);
    button->setText(wrapAtBlanks(toQString(caption), button->fontMetrics(), captionWidth(*button)));
    button->setAccessibleName(toQString(caption));
    if (!toolTip.empty()) {
        button->setToolTip(toQString(toolTip));
    }
    return button;
}

QWidget* createControl(QWidget& form, ControlKind kind, std::string_view name,
                       const QRect& geometry, std::string_view text, std::string_view toolTip) {
    QWidget* control = nullptr;
    switch (kind) {
        case ControlKind::Label:
        case ControlKind::LinkLabel:
            control = createLabel(form, kind, text);
            break;
        case ControlKind::TextBox:
            control = createTextBox(form);
            break;
        case ControlKind::PushButton:
            control = createPushButton(form, text, toolTip, geometry);
            break;
    }
    control->setObjectName(toQString(name));
    control->setGeometry(geometry);
    return control;
}

template <typename Widget>
Widget* named(const QWidget& form, std::string_view name) {
    auto* control = form.findChild<Widget*>(toQString(name), Qt::FindDirectChildrenOnly);
    Q_ASSERT_X(control, "createMainWindowControls", "a control of the layout is missing");
    return control;
}

template <typename Widget>
std::array<Widget*, kRowCount> namedArray(const QWidget& form, std::string_view array) {
    std::array<Widget*, kRowCount> controls{};
    for (int row = 0; row < kRowCount; ++row) {
        controls[static_cast<std::size_t>(row)] = named<Widget>(form, arrayControlName(array, row));
    }
    return controls;
}

void setTabOrder(const QWidget& form) {
    const std::vector<std::string> order = tabOrder();
    for (std::size_t i = 1; i < order.size(); ++i) {
        QWidget::setTabOrder(named<QWidget>(form, order[i - 1]), named<QWidget>(form, order[i]));
    }
}

}  // namespace

void applyMainWindowFont(QWidget& form) {
    QFont font;
    // The face the window was drawn with first, then the faces that share
    // Arial's widths, then whatever sans-serif face the system has.
    font.setFamilies({QString::fromUtf8(kDrawnFace), QStringLiteral("Liberation Sans"),
                      QStringLiteral("Arial"), QStringLiteral("Nimbus Sans"),
                      QStringLiteral("DejaVu Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(kFontPoints);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    font.setUnderline(false);
    if (QFontInfo(font).family() != QString::fromUtf8(kDrawnFace)) {
        // The labels' boxes were sized to their texts in the drawn face, which
        // is a little narrower than its stand-ins; without this the colon of
        // "Host or IP to Lookup:" and the end of the monitoring line are cut off.
        font.setStretch(kStandInStretch);
    }
    form.setFont(font);
}

MainWindowControls createMainWindowControls(QWidget& form) {
    form.setWindowTitle(toQString(kWindowTitle));
    form.setFixedSize(twipsToPixels(kClientWidth), twipsToPixels(kClientHeight));

    // The table first, then the single controls: the link label is created
    // last of all and so lies above the label whose box it overlaps.
    for (const ColumnSpec& column : kColumns) {
        for (int row = 0; row < kRowCount; ++row) {
            const QRect geometry =
                pixelRect(columnLeft(column, row), rowTop(row), column.width, column.height);
            createControl(form, column.kind, arrayControlName(column.array, row), geometry,
                          column.text, column.toolTip);
        }
    }
    for (const ControlSpec& control : kSingleControls) {
        createControl(form, control.kind, control.name,
                      pixelRect(control.left, control.top, control.width, control.height),
                      control.text, {});
    }

    MainWindowControls controls;
    controls.hostPrompt = named<QLabel>(form, kHostPromptName);
    controls.hostField = named<QLineEdit>(form, kHostFieldName);
    controls.lookupButton = named<QPushButton>(form, kLookupButtonName);
    controls.nameHeading = named<QLabel>(form, kNameHeadingName);
    controls.zoneHeading = named<QLabel>(form, kZoneHeadingName);
    controls.resultHeading = named<QLabel>(form, kResultHeadingName);
    controls.resetButton = named<QPushButton>(form, kResetButtonName);
    controls.monitoringNote = named<QLabel>(form, kMonitoringNoteName);
    controls.makerLink = named<QLabel>(form, kMakerLinkName);
    controls.makerLink->raise();
    controls.nameCells = namedArray<QLineEdit>(form, kNameCellsName);
    controls.zoneCells = namedArray<QLineEdit>(form, kZoneCellsName);
    controls.resultCells = namedArray<QLineEdit>(form, kResultCellsName);
    controls.infoButtons = namedArray<QPushButton>(form, kInfoButtonsName);

    setTabOrder(form);
    controls.hostField->setFocus();
    return controls;
}

}  // namespace ostrivane
