#pragma once

#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include <QString>
#include <QWidget>

#include "form/form.h"
#include "generation/parameters.h"
#include "generation/reported_run.h"

class QLineEdit;
class QMessageBox;
class QPushButton;

namespace ui {

// What the user is told when a run fails: the kind of failure and the
// core's message (the path and the system's reason, or the field and text).
struct FailureReport {
    QString kind;
    QString message;
};

// The modal error box that shows a report over `parent`; not yet shown.
std::unique_ptr<QMessageBox> FailureBox(const FailureReport& report, QWidget* parent);

// The program's one window: the general parameters and the coefficient
// ranges under their labels, and the button that writes the population list
// from them. Every control has a fixed place; enlarging the window moves and
// resizes nothing.
class PopulationWindow : public QWidget {
    Q_OBJECT

public:
    using Reporter = std::function<void(const FailureReport&)>;

    explicit PopulationWindow(QWidget* parent = nullptr);

    // Every field's text exactly as the field holds it now.
    generation::GenerationParameters Parameters() const;

    // Replaces the modal error box through which failures are reported.
    void SetReporter(Reporter reporter);

public slots:
    // One generation run in the current directory with the fields as they
    // stand. A failure is reported; the fields and the previous file stay
    // as they were, so the user can mend the cause and press again. A field
    // holding text that UTF-8 cannot hold is reported, and nothing is run.
    void Generate();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* AddField(QWidget* frame, const form::Control& control);
    void Report(const generation::RunOutcome& outcome);  // nothing on success
    void Report(const FailureReport& report);
    // The button's tooltip and accessible description: the path the next
    // press writes, as it stands now.
    void ShowWhereAPressWrites();

    // Every field with the form's control it was made from.
    std::vector<std::pair<const form::Control*, QLineEdit*>> fields_;
    QPushButton* generateButton_ = nullptr;
    Reporter reporter_;
};

}  // namespace ui
