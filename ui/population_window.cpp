#include "ui/population_window.h"

#include <algorithm>
#include <limits>
#include <string>
#include <string_view>

#include <QEvent>
#include <QHash>
#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QValidator>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QToolTip>

#include "form/fitting.h"
#include "form/form.h"
#include "generation/reported_run.h"

namespace ui {

namespace {

const QString kCaption = QString::fromUtf8(form::kCaption.data(), static_cast<qsizetype>(form::kCaption.size()));

// The form is drawn in twips. Qt places widgets in logical pixels, 96 to
// the logical inch, and scales them on high-DPI screens itself.
constexpr int kLogicalDpi = 96;

QRect Pixels(const form::Box& twips)
{
    const form::Box box = form::ToPixels(twips, kLogicalDpi);
    return QRect(box.left, box.top, box.width, box.height);
}

QString FromUtf8(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// The size the window is drawn for: Arial's metrics (Liberation Sans is
// metrically the same) at this size fit every caption with room to spare.
constexpr int kPreferredFontPixels = 10;

// Arial, else Liberation Sans, when the system has either (checked in the
// font it resolves to: fontconfig offers a substitute for any name); else
// the desktop's UI font.
QFont PreferredFace()
{
    for (const QString& family : {QStringLiteral("Arial"), QStringLiteral("Liberation Sans")}) {
        const QFont font(family);
        if (QFontInfo(font).family().compare(family, Qt::CaseInsensitive) == 0) return font;
    }
    return QFontDatabase::systemFont(QFontDatabase::GeneralFont);
}

// The preferred face at the preferred size, made smaller a pixel at a time
// until every caption and default text fits its box.
QFont WindowFont()
{
    QFont font = PreferredFace();
    const int pixels =
        form::FittingSize(kPreferredFontPixels, form::kSmallestFontPixels, [&font](int size) {
            font.setPixelSize(size);
            const QFontMetrics metrics(font);
            return form::EverythingFits(
                [&metrics](std::string_view text) {
                    return form::TextExtent{metrics.horizontalAdvance(FromUtf8(text)), metrics.height()};
                },
                kLogicalDpi);
        });
    font.setPixelSize(pixels);
    return font;
}

QLabel* AddLabel(QWidget* frame, const form::Control& control)
{
    auto* label = new QLabel(FromUtf8(control.text), frame);
    label->setObjectName(FromUtf8(control.name));
    label->setTextFormat(Qt::PlainText);
    const Qt::Alignment horizontal = control.alignment == form::Alignment::Center ? Qt::AlignHCenter : Qt::AlignLeft;
    label->setAlignment(horizontal | Qt::AlignVCenter);
    label->setGeometry(Pixels(control.box));
    return label;
}

// Keeps a field on one line: a line break that is pasted or set is taken
// out, since every text ends up on a line of its own in the population
// list and a break inside it would shift every line after it.
class SingleLineValidator : public QValidator {
public:
    using QValidator::QValidator;

    State validate(QString& input, int& position) const override
    {
        for (qsizetype i = input.size(); i-- > 0;) {
            if (input[i] == QLatin1Char('\r') || input[i] == QLatin1Char('\n')) {
                input.remove(i, 1);
                if (i < position) --position;
            }
        }
        return Acceptable;
    }
};

QGroupBox* AddFrame(QWidget* window, const form::Control& control)
{
    auto* frame = new QGroupBox(FromUtf8(control.text), window);
    frame->setObjectName(FromUtf8(control.name));
    frame->setFocusPolicy(Qt::NoFocus);
    frame->setGeometry(Pixels(control.box));
    return frame;
}

}  // namespace

std::unique_ptr<QMessageBox> FailureBox(const FailureReport& report, QWidget* parent)
{
    auto box = std::make_unique<QMessageBox>(parent);
    box->setIcon(QMessageBox::Critical);
    box->setWindowTitle(kCaption);
    box->setWindowModality(Qt::ApplicationModal);
    // The message may quote a field's text; it must never be read as markup.
    box->setTextFormat(Qt::PlainText);
    box->setText(FromUtf8(form::FailureReportText(report.kind.toStdString(), report.message.toStdString())));
    box->setStandardButtons(QMessageBox::Ok);
    return box;
}

PopulationWindow::PopulationWindow(QWidget* parent) : QWidget(parent)
{
    setWindowTitle(kCaption);
    setFont(WindowFont());
    resize(Pixels({0, 0, form::kClientWidth, form::kClientHeight}).size());

    // The form lists every frame before the controls inside it.
    QHash<QString, QWidget*> controls;
    for (const form::Control& control : form::Controls()) {
        QWidget* container = control.parent.empty() ? this : controls.value(FromUtf8(control.parent));
        Q_ASSERT(container);
        QWidget* widget = nullptr;
        switch (control.kind) {
        case form::Kind::Frame:
            widget = AddFrame(container, control);
            break;
        case form::Kind::Label:
            widget = AddLabel(container, control);
            break;
        case form::Kind::Field:
            widget = AddField(container, control);
            break;
        case form::Kind::Button:
            generateButton_ = new QPushButton(FromUtf8(control.text), container);
            generateButton_->setObjectName(FromUtf8(control.name));
            generateButton_->setGeometry(Pixels(control.box));
            generateButton_->setAccessibleName(FromUtf8(control.accessibleName));
            widget = generateButton_;
            break;
        }
        controls.insert(widget->objectName(), widget);
    }

    // Enter or Escape in a field must never press the button.
    generateButton_->setAutoDefault(false);
    generateButton_->setDefault(false);
    generateButton_->installEventFilter(this);
    connect(generateButton_, &QPushButton::clicked, this, &PopulationWindow::Generate);

    // Keyboard order: the Min column, the Max column, the general column,
    // the button. The first of them has the focus at start, not the first
    // field of the upper frame.
    QWidget* previous = nullptr;
    for (const form::Control* control : form::KeyboardOrder()) {
        QWidget* next = controls.value(FromUtf8(control->name));
        if (previous) setTabOrder(previous, next);
        else next->setFocus();
        previous = next;
    }

    reporter_ = [this](const FailureReport& report) { FailureBox(report, this)->exec(); };
}

QLineEdit* PopulationWindow::AddField(QWidget* frame, const form::Control& control)
{
    auto* field = new QLineEdit(frame);
    field->setObjectName(FromUtf8(control.name));
    // The field has no length limit of its own (QLineEdit's default is 32767).
    field->setMaxLength(std::numeric_limits<int>::max());
    field->setValidator(new SingleLineValidator(field));
    field->setText(FromUtf8(control.text));
    field->setGeometry(Pixels(control.box));
    field->setAccessibleName(FromUtf8(control.accessibleName));
    fields_.emplace_back(&control, field);
    return field;
}

generation::GenerationParameters PopulationWindow::Parameters() const
{
    generation::GenerationParameters parameters;
    for (const auto& [control, field] : fields_) form::FieldText(parameters, *control) = field->text().toStdString();
    return parameters;
}

void PopulationWindow::SetReporter(Reporter reporter) { reporter_ = std::move(reporter); }

void PopulationWindow::Generate()
{
    // Half of a surrogate pair (pasted from something broken) has no UTF-8
    // form: the press is refused as the Win32 window refuses it, rather than
    // writing a replacement character.
    for (const auto& [control, field] : fields_) {
        if (!QStringView(field->text()).isValidUtf16()) {
            Report(form::BrokenTextOutcome(*control));
            return;
        }
    }
    Report(generation::ReportedRun(Parameters()));
}

void PopulationWindow::Report(const generation::RunOutcome& outcome)
{
    if (!outcome.Succeeded()) Report({FromUtf8(outcome.kind), FromUtf8(outcome.message)});
}

void PopulationWindow::ShowWhereAPressWrites()
{
    const std::string where = form::WhereAPressWrites();
    // Qt breaks a plain tooltip only when it is wider than the screen: a long
    // path is broken into lines at most a third as wide as the window's screen
    // (or as wide as the window, when that is wider).
    const QScreen* shownOn = screen();
    const int screenWidth = shownOn != nullptr ? shownOn->availableGeometry().width() : 0;
    const int width = std::max(frameGeometry().width(), screenWidth / 3);
    const QFontMetrics metrics(QToolTip::font());
    generateButton_->setToolTip(FromUtf8(form::BrokenIntoLines(
        where, [&metrics, width](const std::string& line) { return metrics.horizontalAdvance(FromUtf8(line)) <= width; })));
    const QString text = FromUtf8(where);
    if (generateButton_->accessibleDescription() != text) generateButton_->setAccessibleDescription(text);
}

bool PopulationWindow::event(QEvent* event)
{
    // The description is read without a tooltip: keep it current whenever
    // the user comes back to the window.
    if (event->type() == QEvent::Show || event->type() == QEvent::WindowActivate) ShowWhereAPressWrites();
    return QWidget::event(event);
}

void PopulationWindow::Report(const FailureReport& report)
{
    if (reporter_) reporter_(report);
}

bool PopulationWindow::eventFilter(QObject* watched, QEvent* event)
{
    // Where a press writes is worked out as the tooltip opens (the button
    // then shows the text set here) and as the button takes the focus.
    if (watched == generateButton_ && (event->type() == QEvent::ToolTip || event->type() == QEvent::FocusIn)) {
        ShowWhereAPressWrites();
    }
    // Enter presses the button that has the focus, as Space does; it is not
    // the window's default button, so Enter in a field still does nothing.
    if (watched == generateButton_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
            (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier && !key->isAutoRepeat()) {
            generateButton_->click();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace ui
