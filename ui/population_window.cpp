#include "ui/population_window.h"

#include <exception>
#include <limits>
#include <string_view>

#include <QEvent>
#include <QFont>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QValidator>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>

#include "generation/failures.h"
#include "generation/population_list.h"

namespace ui {

namespace {

const QString kCaption = QStringLiteral("Population generator");

// The layout is drawn in twips; 15 twips make one logical pixel, which Qt
// scales on high-DPI screens.
constexpr int kTwipsPerPixel = 15;

QRect Twips(int left, int top, int width, int height)
{
    return QRect(left / kTwipsPerPixel, top / kTwipsPerPixel, width / kTwipsPerPixel, height / kTwipsPerPixel);
}

// Arial's metrics (Liberation Sans is metrically the same) at this size let
// the longest caption fit its label with room to spare.
QFont WindowFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans")});
    font.setPixelSize(10);
    return font;
}

QString FromUtf8(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// Where a coefficient row sits in the lower frame. The rook, knight and
// bishop labels carry the indexes 7, 5 and 6.
struct CoefficientPlace {
    int row;
    int labelIndex;
    int top;
    int labelWidth;
};

constexpr CoefficientPlace kCoefficientPlaces[] = {
    {5, 7, 720, 615}, {6, 5, 1080, 615}, {7, 6, 1440, 615}, {8, 8, 1800, 615}, {9, 9, 2160, 1095},
};

struct GeneralPlace {
    int row;
    int top;
    int labelWidth;
};

constexpr GeneralPlace kGeneralPlaces[] = {
    {10, 480, 1935}, {11, 840, 1935}, {12, 1200, 2295}, {13, 1560, 1935}, {14, 1920, 2175},
};

constexpr int kLabelLeft = 240;
constexpr int kLabelHeight = 255;
constexpr int kFieldHeight = 285;
constexpr int kMinLeft = 1560;
constexpr int kMinWidth = 735;
constexpr int kMaxLeft = 2640;  // also the general fields' column
constexpr int kMaxWidth = 855;

QLabel* AddLabel(QWidget* frame, const QString& name, const QString& caption, const QRect& box,
                 Qt::Alignment alignment = Qt::AlignLeft)
{
    auto* label = new QLabel(caption, frame);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(alignment | Qt::AlignVCenter);
    label->setGeometry(box);
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

QGroupBox* AddFrame(QWidget* window, const QString& name, const QString& caption, const QRect& box)
{
    auto* frame = new QGroupBox(caption, window);
    frame->setObjectName(name);
    frame->setFocusPolicy(Qt::NoFocus);
    frame->setGeometry(box);
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
    box->setText(report.kind + QStringLiteral("\n\n") + report.message +
                 QStringLiteral("\n\nThe population list was not changed. Correct the cause and press the button again."));
    box->setStandardButtons(QMessageBox::Ok);
    return box;
}

PopulationWindow::PopulationWindow(QWidget* parent) : QWidget(parent)
{
    setWindowTitle(kCaption);
    setFont(WindowFont());
    resize(Twips(0, 0, 4440, 6690).size());

    QGroupBox* general = AddFrame(this, QStringLiteral("Frame3"), QStringLiteral("General parameters"),
                                  Twips(360, 360, 3735, 2415));
    QGroupBox* random = AddFrame(this, QStringLiteral("Frame2"), QStringLiteral("Randomization parameters"),
                                 Twips(360, 3000, 3735, 2655));

    for (const GeneralPlace& place : kGeneralPlaces) {
        const generation::GeneralRow& info = generation::GeneralRowInfo(place.row);
        const QString caption = FromUtf8(info.label);
        AddLabel(general, QStringLiteral("Label3(%1)").arg(place.row), caption,
                 Twips(kLabelLeft, place.top, place.labelWidth, kLabelHeight));
        generalFields_[place.row - generation::kFirstGeneralRow] =
            AddField(general, QStringLiteral("text3(%1)").arg(place.row), FromUtf8(info.defaultText),
                     Twips(kMaxLeft, place.top, kMaxWidth, kFieldHeight), caption);
    }

    AddLabel(random, QStringLiteral("Label2(2)"), QStringLiteral("Min"), Twips(kMinLeft, 360, kMinWidth, kLabelHeight),
             Qt::AlignHCenter);
    AddLabel(random, QStringLiteral("Label2(3)"), QStringLiteral("Max"), Twips(kMaxLeft, 360, kMaxWidth, kLabelHeight),
             Qt::AlignHCenter);
    for (const CoefficientPlace& place : kCoefficientPlaces) {
        const generation::CoefficientRow& info = generation::CoefficientRowInfo(place.row);
        const QString caption = FromUtf8(info.label);
        const int index = place.row - generation::kFirstCoefficientRow;
        AddLabel(random, QStringLiteral("Label1(%1)").arg(place.labelIndex), caption,
                 Twips(kLabelLeft, place.top, place.labelWidth, kLabelHeight));
        minFields_[index] = AddField(random, QStringLiteral("Text1(%1)").arg(place.row), FromUtf8(info.defaultMin),
                                     Twips(kMinLeft, place.top, kMinWidth, kFieldHeight), caption + QStringLiteral(" Min"));
        maxFields_[index] = AddField(random, QStringLiteral("Text2(%1)").arg(place.row), FromUtf8(info.defaultMax),
                                     Twips(kMaxLeft, place.top, kMaxWidth, kFieldHeight), caption + QStringLiteral(" Max"));
    }

    generateButton_ = new QPushButton(QStringLiteral("Generate random population"), this);
    generateButton_->setObjectName(QStringLiteral("Command1"));
    generateButton_->setGeometry(Twips(360, 5880, 3735, 495));
    // Enter or Escape in a field must never press it.
    generateButton_->setAutoDefault(false);
    generateButton_->setDefault(false);
    generateButton_->installEventFilter(this);
    connect(generateButton_, &QPushButton::clicked, this, &PopulationWindow::Generate);

    // Keyboard order: the Min column, the Max column, the general column, the button.
    QWidget* previous = nullptr;
    auto chain = [&previous](QWidget* next) {
        if (previous) setTabOrder(previous, next);
        previous = next;
    };
    for (QLineEdit* field : minFields_) chain(field);
    for (QLineEdit* field : maxFields_) chain(field);
    for (QLineEdit* field : generalFields_) chain(field);
    chain(generateButton_);

    // The first focus is the rook's Min, not the first field of the upper frame.
    minFields_[0]->setFocus();

    reporter_ = [this](const FailureReport& report) { FailureBox(report, this)->exec(); };
}

QLineEdit* PopulationWindow::AddField(QWidget* frame, const QString& name, const QString& text, const QRect& box,
                                      const QString& accessibleName)
{
    auto* field = new QLineEdit(frame);
    field->setObjectName(name);
    // The field has no length limit of its own (QLineEdit's default is 32767).
    field->setMaxLength(std::numeric_limits<int>::max());
    field->setValidator(new SingleLineValidator(field));
    field->setText(text);
    field->setGeometry(box);
    field->setAccessibleName(accessibleName);
    return field;
}

generation::GenerationParameters PopulationWindow::Parameters() const
{
    generation::GenerationParameters parameters;
    for (int row = generation::kFirstGeneralRow; row <= generation::kLastGeneralRow; ++row) {
        parameters.General(row) = generalFields_[row - generation::kFirstGeneralRow]->text().toStdString();
    }
    for (int row = generation::kFirstCoefficientRow; row <= generation::kLastCoefficientRow; ++row) {
        const int index = row - generation::kFirstCoefficientRow;
        parameters.Coefficient(row) = {minFields_[index]->text().toStdString(), maxFields_[index]->text().toStdString()};
    }
    return parameters;
}

void PopulationWindow::SetReporter(Reporter reporter) { reporter_ = std::move(reporter); }

void PopulationWindow::Generate()
{
    const generation::GenerationParameters parameters = Parameters();
    try {
        generation::GenerationRun(parameters);
    } catch (const generation::GenerationFailure& failure) {
        Report({FromUtf8(failure.Kind()), QString::fromUtf8(failure.what())});
    } catch (const std::exception& failure) {
        // Nothing else is expected from a run, but no failure may escape
        // into the event loop and end the program with the user's texts.
        Report({QStringLiteral("Unexpected error"), QString::fromUtf8(failure.what())});
    }
}

void PopulationWindow::Report(const FailureReport& report)
{
    if (reporter_) reporter_(report);
}

bool PopulationWindow::eventFilter(QObject* watched, QEvent* event)
{
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
