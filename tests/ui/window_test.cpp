#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QGroupBox>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QValidator>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QStyle>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <QWindow>

#include <algorithm>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "generation/parameters.h"
#include "ui/population_window.h"
#include "tests/support/expected_form.h"
#include "tests/support/list_layout.h"
#include "window_test_support.h"

using ui_test::CrlfLines;
using ui_test::ScratchFolder;

namespace {

QString Text(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

using LineChecks = QList<QPair<int, QByteArray>>;  // 1-based line number, its text

// The keyboard order: Min column, Max column, general column, the button.
QStringList FocusOrder()
{
    QStringList order;
    for (std::string_view name : expected_form::kFocusOrder) order.append(Text(name));
    return order;
}

QLineEdit* Field(const QWidget& window, const QString& name)
{
    auto* field = window.findChild<QLineEdit*>(name);
    if (!field) qFatal("no field %s", qPrintable(name));
    return field;
}

QPushButton* Button(const QWidget& window) { return window.findChild<QPushButton*>(QStringLiteral("Command1")); }

// The controls a user sees, by object name.
QList<QWidget*> Controls(const QWidget& window)
{
    QList<QWidget*> controls;
    for (QWidget* child : window.findChildren<QWidget*>()) {
        if (qobject_cast<QLabel*>(child) || qobject_cast<QLineEdit*>(child) || qobject_cast<QGroupBox*>(child) ||
            qobject_cast<QPushButton*>(child)) {
            controls.append(child);
        }
    }
    return controls;
}

QString Caption(const QWidget* control)
{
    if (auto* label = qobject_cast<const QLabel*>(control)) return label->text();
    if (auto* field = qobject_cast<const QLineEdit*>(control)) return field->text();
    if (auto* frame = qobject_cast<const QGroupBox*>(control)) return frame->title();
    if (auto* button = qobject_cast<const QPushButton*>(control)) return button->text();
    return {};
}

// The text that the parameters hold for a field named like "Text1(5)".
std::string ParameterText(const generation::GenerationParameters& parameters, const QString& field)
{
    static const QRegularExpression pattern(QStringLiteral(R"(^(Text1|Text2|text3)\((\d+)\)$)"));
    const QRegularExpressionMatch match = pattern.match(field);
    if (!match.hasMatch()) qFatal("not a field name: %s", qPrintable(field));
    const int row = match.captured(2).toInt();
    if (match.captured(1) == QLatin1String("text3")) return parameters.General(row);
    const generation::CoefficientRange& range = parameters.Coefficient(row);
    return match.captured(1) == QLatin1String("Text1") ? range.min : range.max;
}

// Replaces the field's text by typing, as a user does: select all, then
// one key event per character.
void Type(QLineEdit* field, const QString& text)
{
    field->setFocus();
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    if (text.isEmpty()) QTest::keyClick(field, Qt::Key_Delete);
    for (const QChar character : text) {
        QTest::sendKeyEvent(QTest::Click, field, Qt::Key_unknown, QString(character), Qt::NoModifier);
    }
}

// A window that records its failure reports instead of showing them.
struct RecordingWindow {
    RecordingWindow()
    {
        window.SetReporter([this](const ui::FailureReport& report) {
            reports.push_back(report);
            visibleWhenReported = window.isVisible();
        });
        window.show();
    }

    ui::PopulationWindow window;
    std::vector<ui::FailureReport> reports;
    bool visibleWhenReported = false;
};

}  // namespace

class WindowTest : public QObject {
    Q_OBJECT

private slots:
    void controlsStandWhereTheLayoutPutsThem_data();
    void controlsStandWhereTheLayoutPutsThem();
    void everyCaptionFitsItsBox();
    void buttonTellsWhereAPressWrites();
    void enlargingTheWindowMovesNothing();
    void tabFollowsTheKeyboardOrder();
    void fieldsHaveAccessibleNames_data();
    void fieldsHaveAccessibleNames();
    void fieldsHandOverTheirTexts_data();
    void fieldsHandOverTheirTexts();
    void typedTextsReachTheFile_data();
    void typedTextsReachTheFile();
    void enterOrEscapeInAFieldWritesNothing();
    void failureIsReportedAndNothingIsLost_data();
    void failureIsReportedAndNothingIsLost();
    void reportIsAModalBoxThatShowsTextAsTyped();
    void isAnOrdinarySizableTopLevelWindow();
};

void WindowTest::controlsStandWhereTheLayoutPutsThem_data()
{
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QRect>("pixels");  // left, top, width, height
    QTest::addColumn<bool>("centred");

    for (const expected_form::Control& control : expected_form::kControls) {
        const QByteArray name(control.name.data(), static_cast<qsizetype>(control.name.size()));
        QTest::newRow(name.constData()) << (control.parent.empty() ? QStringLiteral("window") : Text(control.parent))
                                        << Text(control.text)
                                        << QRect(control.left, control.top, control.width, control.height)
                                        << (control.alignment == expected_form::Alignment::Center);
    }
}

void WindowTest::controlsStandWhereTheLayoutPutsThem()
{
    QFETCH(QString, parent);
    QFETCH(QString, caption);
    QFETCH(QRect, pixels);
    QFETCH(bool, centred);
    const QString name = QString::fromLatin1(QTest::currentDataTag());

    ui::PopulationWindow window;
    QCOMPARE(window.windowTitle(), Text(expected_form::kCaption));
    QCOMPARE(window.size(), QSize(expected_form::kClientWidth, expected_form::kClientHeight));
    QVERIFY2(!window.layout(), "a layout manager would move the controls");
    QCOMPARE(Controls(window).size(), qsizetype(expected_form::kControls.size()));

    const QList<QWidget*> named = window.findChildren<QWidget*>(name);
    QCOMPARE(named.size(), 1);
    QWidget* control = named.front();
    QCOMPARE(control->parentWidget()->objectName().isEmpty() ? QStringLiteral("window")
                                                             : control->parentWidget()->objectName(),
             parent);
    QCOMPARE(Caption(control), caption);
    QCOMPARE(control->geometry(), pixels);
    QVERIFY2(QKeySequence::mnemonic(Caption(control)).isEmpty(), "captions carry no access keys");

    if (auto* label = qobject_cast<QLabel*>(control)) {
        const Qt::Alignment horizontal = label->alignment() & Qt::AlignHorizontal_Mask;
        QCOMPARE(horizontal, centred ? Qt::AlignHCenter : Qt::AlignLeft);
        QCOMPARE(label->textFormat(), Qt::PlainText);
    }
    if (auto* field = qobject_cast<QLineEdit*>(control)) {
        QVERIFY(!field->isReadOnly());
        QCOMPARE(field->echoMode(), QLineEdit::Normal);
        // Nothing is validated: any text on one line is accepted as it is.
        if (const QValidator* validator = field->validator()) {
            QString any = QStringLiteral(" abc -1e400 ,;\t\u00e9\"<b>");
            int position = 3;
            QCOMPARE(validator->validate(any, position), QValidator::Acceptable);
            QCOMPARE(any, QStringLiteral(" abc -1e400 ,;\t\u00e9\"<b>"));
            QCOMPARE(position, 3);
        }
        QVERIFY2(field->maxLength() > 1'000'000, "the fields have no length limit of their own");
    }
    if (auto* button = qobject_cast<QPushButton*>(control)) {
        QVERIFY(!button->isDefault());
        QVERIFY(!button->autoDefault());
    }
}

void WindowTest::everyCaptionFitsItsBox()
{
    ui::PopulationWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    // A run under a font configuration of its own says which family the
    // window must end up with, so it cannot pass on another.
    const QFontInfo font(window.font());
    qInfo("window font: %s, %d px", qPrintable(font.family()), font.pixelSize());
    if (const QByteArray family = qgetenv("POPGEN_EXPECT_FONT_FAMILY"); !family.isEmpty()) {
        QCOMPARE(font.family(), QString::fromUtf8(family));
    }
    // Drawn for Arial at 10 px (or Liberation Sans, with Arial's metrics); with
    // DejaVu alone the fitting steps down to 9, where every caption fits.
    const int pixels = qEnvironmentVariableIntValue("POPGEN_EXPECT_FONT_PIXELS");
    QCOMPARE(font.pixelSize(), pixels != 0 ? pixels : 10);
    const int frameWidth = window.style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
    for (QWidget* control : Controls(window)) {
        const QFontMetrics metrics = control->fontMetrics();
        QSize room = control->size();
        if (qobject_cast<QLineEdit*>(control)) {
            // QLineEdit keeps two pixels beside the text and one above and below.
            room -= QSize(2 * (frameWidth + 2), 2 * (frameWidth + 1));
        } else if (qobject_cast<QPushButton*>(control)) {
            room -= QSize(2 * window.style()->pixelMetric(QStyle::PM_ButtonMargin), 2 * frameWidth);
        }
        const QString text = Caption(control);
        QVERIFY2(metrics.horizontalAdvance(text) <= room.width(),
                 qPrintable(QStringLiteral("%1 \"%2\" is %3 px wide, room %4")
                                .arg(control->objectName(), text)
                                .arg(metrics.horizontalAdvance(text))
                                .arg(room.width())));
        QVERIFY2(metrics.height() <= room.height(),
                 qPrintable(QStringLiteral("%1 text is %2 px high, room %3")
                                .arg(control->objectName())
                                .arg(metrics.height())
                                .arg(room.height())));
    }
}

void WindowTest::buttonTellsWhereAPressWrites()
{
    // The description is set as the window shows; both texts follow the
    // current folder when the tooltip opens, and name what a press writes.
    const auto writes = [](const ScratchFolder& folder) {
        return QStringLiteral("Writes ") + QDir(folder.Path()).canonicalPath() + QStringLiteral("/files/game_list.txt");
    };
    auto shownIn = std::make_unique<ScratchFolder>();
    RecordingWindow recording;
    QPushButton* button = Button(recording.window);
    QCOMPARE(QAccessible::queryAccessibleInterface(button)->text(QAccessible::Description), writes(*shownIn));
    shownIn.reset();
    ScratchFolder folder;
    QHelpEvent help(QEvent::ToolTip, QPoint(4, 4), button->mapToGlobal(QPoint(4, 4)));
    QApplication::sendEvent(button, &help);
    QCOMPARE(QToolTip::text().remove(QLatin1Char('\n')), writes(folder));  // a long path on lines
    QCOMPARE(QAccessible::queryAccessibleInterface(button)->text(QAccessible::Description), writes(folder));
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(folder.HasList());

    // A longer path, on lines that fit the tooltip in its font: as wide as
    // the window, or a third of its screen where that is wider.
    const QString deeper = folder.Path() + QStringLiteral("/one folder deeper").repeated(6);
    QVERIFY(QDir().mkpath(deeper) && QDir::setCurrent(deeper));
    for (const int windowWidth : {150, 600}) {
        recording.window.resize(windowWidth, recording.window.height());
        QApplication::sendEvent(button, &help);
        const int width = std::max(recording.window.frameGeometry().width(),
                                   recording.window.screen()->availableGeometry().width() / 3);
        const QFontMetrics metrics(QToolTip::font());
        const std::wstring shown = QToolTip::text().toStdWString();
        const std::wstring wrong = expected_form::MisbrokenTooltipLine(shown, [&](const std::wstring& line) {
            return metrics.horizontalAdvance(QString::fromStdWString(line)) <= width;
        });
        QVERIFY2(shown.find(L'\n') != std::wstring::npos && wrong.empty(),
                 qPrintable(QStringLiteral("%1 px: %2").arg(width).arg(QString::fromStdWString(wrong))));
    }
}

void WindowTest::enlargingTheWindowMovesNothing()
{
    ui::PopulationWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QList<QRect> before;
    for (QWidget* control : Controls(window)) before.append(control->geometry());

    window.resize(1000, 1200);
    QTRY_COMPARE(window.size(), QSize(1000, 1200));

    QList<QRect> after;
    for (QWidget* control : Controls(window)) after.append(control->geometry());
    QCOMPARE(after, before);
}

void WindowTest::tabFollowsTheKeyboardOrder()
{
    ui::PopulationWindow window;
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));

    for (QWidget* control : Controls(window)) {
        if (qobject_cast<QLabel*>(control) || qobject_cast<QGroupBox*>(control)) {
            QVERIFY2(control->focusPolicy() == Qt::NoFocus, qPrintable(control->objectName()));
        }
    }

    const QStringList kFocusOrder = FocusOrder();
    auto focused = [] { return QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString(); };
    QCOMPARE(focused(), kFocusOrder.front());
    // Forward through every field to the button and around to the start.
    for (qsizetype step = 1; step <= kFocusOrder.size(); ++step) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(focused(), kFocusOrder[step % kFocusOrder.size()]);
    }
    // And back the other way.
    for (qsizetype step = kFocusOrder.size() - 1; step >= 0; --step) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
        QCOMPARE(focused(), kFocusOrder[step]);
    }
}

void WindowTest::fieldsHaveAccessibleNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("Text1(5)") << "Rook: Min";
    QTest::newRow("Text2(5)") << "Rook: Max";
    QTest::newRow("Text1(7)") << "Bishop: Min";
    QTest::newRow("Text2(9)") << "Legal moves: Max";
    QTest::newRow("text3(10)") << "Max depth of black player:";
    QTest::newRow("text3(14)") << "Time limit for evolution (min):";
    QTest::newRow("Command1") << "Generate random population";
    QTest::newRow("Frame2") << "Randomization parameters";
    QTest::newRow("Frame3") << "General parameters";
}

void WindowTest::fieldsHaveAccessibleNames()
{
    QFETCH(QString, name);
    ui::PopulationWindow window;
    window.show();
    QWidget* control = window.findChild<QWidget*>(QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY(control);
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(control);
    QVERIFY(accessible);
    QCOMPARE(accessible->text(QAccessible::Name), name);
}

void WindowTest::fieldsHandOverTheirTexts_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("pasted");
    QTest::addColumn<QString>("expected");

    QTest::newRow("longer than QLineEdit's usual limit")
        << "text3(13)" << QString(40000, QLatin1Char('9')) << false << QString(40000, QLatin1Char('9'));
    QTest::newRow("blanks kept") << "text3(10)" << "  5 " << false << "  5 ";
    QTest::newRow("not ASCII") << "text3(11)" << QStringLiteral("f\u00fcnf \u2264 6") << false
                               << QStringLiteral("f\u00fcnf \u2264 6");
    QTest::newRow("tab kept") << "Text1(9)" << "\t-50" << true << "\t-50";
    // A field keeps to one line: line breaks set or pasted are taken out,
    // as a cell copied from a spreadsheet brings one along.
    QTest::newRow("line break set") << "text3(12)" << "30\r\n" << false << "30";
    QTest::newRow("line break pasted") << "Text2(5)" << "1000\nlines" << true << "1000lines";
    QTest::newRow("line breaks pasted") << "text3(10)" << "\r\n5\r\r\n\n" << true << "5";
}

void WindowTest::fieldsHandOverTheirTexts()
{
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(bool, pasted);
    QFETCH(QString, expected);

    ui::PopulationWindow window;
    window.show();
    QLineEdit* edit = Field(window, field);
    if (pasted) {
        QApplication::clipboard()->setText(text);
        edit->selectAll();
        edit->paste();
    } else {
        edit->setText(text);
    }
    QCOMPARE(edit->text(), expected);
    QCOMPARE(QString::fromStdString(ParameterText(window.Parameters(), field)), expected);
}

void WindowTest::typedTextsReachTheFile_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("players");
    QTest::addColumn<LineChecks>("lines");
    using list_layout::PlayerLine, list_layout::ValueLine;

    QTest::newRow("player count not a number") << "text3(12)" << "abc" << 1
        << LineChecks{{6, "abc"}, {ValueLine(1, 5), QByteArray::fromStdString(list_layout::Head()[ValueLine(1, 5) - 1])}};
    QTest::newRow("player count empty") << "text3(12)" << "" << 1 << LineChecks{{6, ""}};
    QTest::newRow("player count 2.5") << "text3(12)" << "2.5" << 2 << LineChecks{{6, "2.5"}, {PlayerLine(2), " 2"}};
    QTest::newRow("depth with words") << "text3(10)"
                                      << " 7 plies" << 30 << LineChecks{{2, " 7 plies"}, {6, "30"}};
    QTest::newRow("time not ASCII") << "text3(14)" << QStringLiteral("\u00bd day") << 30
                                    << LineChecks{{10, QByteArray("\xc2\xbd day")}};
    // Max "x" reads as 0, so every random rook value is 0.
    QTest::newRow("rook Max not a number") << "Text2(5)" << "x" << 30
        << LineChecks{{ValueLine(2, 5), " 0"}, {ValueLine(3, 5), " 0"}, {ValueLine(30, 5), " 0"}};
    QTest::newRow("queen range typed") << "Text1(8)" << "1600" << 30
        << LineChecks{{ValueLine(2, 8), " 1600"}, {ValueLine(3, 8), " 1600"}, {ValueLine(30, 8), " 1600"}};
}

void WindowTest::typedTextsReachTheFile()
{
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(int, players);
    QFETCH(LineChecks, lines);

    ScratchFolder folder;
    RecordingWindow recording;
    ui::PopulationWindow& window = recording.window;
    Type(Field(window, field), text);
    QCOMPARE(Field(window, field)->text(), text);
    const generation::GenerationParameters typed = window.Parameters();

    QTest::mouseClick(Button(window), Qt::LeftButton);

    QVERIFY(recording.reports.empty());
    QVERIFY2(window.Parameters() == typed, "a press changed a field");
    const QList<QByteArray> written = CrlfLines(folder.List());
    QCOMPARE(std::size_t(written.size()), list_layout::Lines(players));
    for (const auto& [number, expected] : lines) QCOMPARE(written[number - 1], expected);
}

void WindowTest::enterOrEscapeInAFieldWritesNothing()
{
    ScratchFolder folder;
    RecordingWindow recording;
    ui::PopulationWindow& window = recording.window;
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));

    const QStringList fields = FocusOrder().mid(0, qsizetype(expected_form::kFocusOrder.size()) - 1);
    for (const QString& name : fields) {
        QLineEdit* field = Field(window, name);
        field->setFocus();
        for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
            QTest::keyClick(field, key);
        }
        QTest::keyClick(field, Qt::Key_Enter, Qt::KeypadModifier);
    }
    QVERIFY2(!folder.HasList(), "Enter or Escape in a field pressed the button");
    QVERIFY(window.isVisible());

    // With the focus on the button, Space presses it, and so does Enter.
    Button(window)->setFocus();
    QTest::keyClick(Button(window), Qt::Key_Escape);
    QVERIFY(!folder.HasList());
    QTest::keyClick(Button(window), Qt::Key_Space);
    QVERIFY(folder.HasList());
    QVERIFY(QFile::remove(folder.ListPath()));
    QTest::keyClick(Button(window), Qt::Key_Return);
    QVERIFY(folder.HasList());
    QVERIFY(QFile::remove(folder.ListPath()));
    QTest::keyClick(Button(window), Qt::Key_Enter, Qt::KeypadModifier);
    QVERIFY2(folder.HasList(), "keypad Enter on the button did not press it");
    QVERIFY(recording.reports.empty());

    // Enter held down presses it once: the key's repeats write nothing.
    folder.RemoveFilesFolder();
    for (const bool repeat : {false, true, true, true}) {
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QString(), repeat);
        QApplication::sendEvent(Button(window), &enter);
    }
    QCOMPARE(recording.reports.size(), std::size_t{1});
}

void WindowTest::failureIsReportedAndNothingIsLost_data()
{
    QTest::addColumn<bool>("removeFolder");
    QTest::addColumn<QString>("playerCount");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("named");  // in the message, besides the folder's path

    QTest::newRow("no folder files") << true << "30" << "File error" << "";
    QTest::newRow("player count 40000") << false << "40000" << "Number out of range" << "40000";
    // Half of a surrogate pair has no UTF-8 form: refused as the Win32
    // window refuses it, not written as a replacement character.
    QTest::newRow("lone surrogate") << false << QStringLiteral("3") + QChar(0xD800) << "Text that cannot be written"
                                    << "\"Number of player in population:\" holds a broken character";
}

void WindowTest::failureIsReportedAndNothingIsLost()
{
    QFETCH(bool, removeFolder);
    QFETCH(QString, playerCount);
    QFETCH(QString, kind);
    QFETCH(QString, named);

    ScratchFolder folder;
    RecordingWindow recording;
    ui::PopulationWindow& window = recording.window;
    Type(Field(window, QStringLiteral("Text1(9)")), QStringLiteral("-40"));
    QTest::mouseClick(Button(window), Qt::LeftButton);
    QVERIFY(recording.reports.empty());
    const QByteArray previous = folder.List();

    // The cause.
    if (removeFolder) folder.RemoveFilesFolder();
    QLineEdit* players = Field(window, QStringLiteral("text3(12)"));
    if (QStringView(playerCount).isValidUtf16()) Type(players, playerCount);
    else players->setText(playerCount);  // no key types a broken character
    const generation::GenerationParameters typed = window.Parameters();

    QTest::mouseClick(Button(window), Qt::LeftButton);

    QCOMPARE(recording.reports.size(), std::size_t{1});
    const ui::FailureReport& report = recording.reports.front();
    QCOMPARE(report.kind, kind);
    if (removeFolder) {
        QVERIFY2(report.message.contains(QDir::toNativeSeparators(folder.Path())), qPrintable(report.message));
        QVERIFY2(!QDir(folder.Path()).exists(QStringLiteral("files")), "the folder files was created");
    } else {
        QVERIFY2(report.message.contains(named), qPrintable(report.message));
        QCOMPARE(folder.List(), previous);
    }
    QVERIFY(recording.visibleWhenReported);
    QVERIFY(window.isVisible());
    QVERIFY2(window.Parameters() == typed, "the failure changed a field");

    // Mended, the next press succeeds with the fields as they were.
    if (removeFolder) {
        folder.CreateFilesFolder();
    } else {
        Type(Field(window, QStringLiteral("text3(12)")), QStringLiteral("30"));
    }
    QTest::mouseClick(Button(window), Qt::LeftButton);
    QCOMPARE(recording.reports.size(), std::size_t{1});
    const QList<QByteArray> lines = CrlfLines(folder.List());
    QCOMPARE(std::size_t(lines.size()), list_layout::Lines(30));
    QCOMPARE(lines.mid(0, list_layout::PlayerLine(2) - 1), CrlfLines(ui_test::GoldenDefaultList()).mid(0, list_layout::PlayerLine(2) - 1));
    for (int player = 2; player <= 30; ++player) {
        const QByteArray& legalMoves = lines[list_layout::ValueLine(player, 9) - 1];
        QVERIFY2(legalMoves.toInt() >= -40 && legalMoves.toInt() <= 150, legalMoves.constData());
    }
}

void WindowTest::reportIsAModalBoxThatShowsTextAsTyped()
{
    // The window's own report: an error box over it, the only window that
    // takes input, that quotes the field as typed and closes with Escape;
    // the window is still there afterwards with its fields.
    ScratchFolder folder;
    ui::PopulationWindow window;
    window.show();
    const QString typed = QStringLiteral("40000 <b>players</b>");
    Field(window, QStringLiteral("text3(12)"))->setText(typed);
    const generation::GenerationParameters fields = window.Parameters();
    QString shown;
    QTimer dismiss;
    connect(&dismiss, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible()) return;
        const QList<QAbstractButton*> buttons = box->buttons();
        shown = box->windowTitle() + QLatin1Char('|') + QString::number(box->icon()) + QLatin1Char('|') +
                QString::number(buttons.size() == 1 ? box->standardButton(buttons.front()) : 0) +
                QLatin1Char('|') + box->text();
        QTest::keyClick(box, Qt::Key_Escape);
    });
    dismiss.start(10);
    window.Generate();
    dismiss.stop();
    const QString expected =
        Text(expected_form::kCaption) +
        QStringLiteral("|%1|%2|Number out of range\n\n").arg(QMessageBox::Critical).arg(QMessageBox::Ok);
    QVERIFY2(shown.startsWith(expected), qPrintable(shown));
    QVERIFY2(shown.endsWith(QStringLiteral("\n\nThe population list was not changed. Correct the cause and press the "
                                           "button again.")), qPrintable(shown));
    QVERIFY2(shown.contains(QLatin1Char('"') + typed + QLatin1Char('"')), qPrintable(shown));
    QVERIFY(window.isVisible());
    QVERIFY(!QApplication::activeModalWidget());
    QVERIFY(window.Parameters() == fields);
    QVERIFY(!folder.HasList());
}

void WindowTest::isAnOrdinarySizableTopLevelWindow()
{
    ui::PopulationWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    // What the window system is asked for: an ordinary top-level window (not
    // a dialog, tool window, popup or sheet) with a title bar and the
    // minimise, maximise and close buttons.
    const QWindow* handle = window.windowHandle();
    QVERIFY(handle && !handle->parent());
    QCOMPARE(handle->type(), Qt::Window);
    const Qt::WindowFlags flags = handle->flags();
    for (const Qt::WindowType hint : {Qt::WindowTitleHint, Qt::WindowSystemMenuHint, Qt::WindowMinimizeButtonHint,
                                      Qt::WindowMaximizeButtonHint, Qt::WindowCloseButtonHint}) {
        QVERIFY2(flags.testFlag(hint), qPrintable(QStringLiteral("hint 0x%1 missing").arg(int(hint), 0, 16)));
    }
    for (const Qt::WindowType hint : {Qt::FramelessWindowHint, Qt::MSWindowsFixedSizeDialogHint,
                                      Qt::WindowStaysOnTopHint}) {
        QVERIFY2(!flags.testFlag(hint), qPrintable(QStringLiteral("hint 0x%1 set").arg(int(hint), 0, 16)));
    }
    // Sizable: neither its size nor its frame fixes it.
    QVERIFY(handle->maximumSize().width() > window.width() && handle->maximumSize().height() > window.height());
    QVERIFY(handle->minimumSize().width() < window.width() && handle->minimumSize().height() < window.height());
}

QTEST_MAIN(WindowTest)
#include "window_test.moc"
