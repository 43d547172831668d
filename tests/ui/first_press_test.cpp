// The process's sampler starts fresh only once, so these checks live in a
// process of their own, and the golden check is its first press.
#include <QPushButton>
#include <QTest>

#include "generation/population_list.h"
#include "generation/sampler.h"
#include "tests/support/list_layout.h"
#include "ui/population_window.h"
#include "window_test_support.h"

using ui_test::CrlfLines;
using ui_test::ScratchFolder;

class FirstPressTest : public QObject {
    Q_OBJECT

private slots:
    void firstPressWritesTheGoldenFile();
    void secondPressContinuesTheSequence();

private:
    // Outlives the test functions, so the second press follows the first.
    ui::PopulationWindow window_;
    ScratchFolder folder_;
    QByteArray first_;
};

void FirstPressTest::firstPressWritesTheGoldenFile()
{
    int reports = 0;
    window_.SetReporter([&reports](const ui::FailureReport&) { ++reports; });
    window_.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window_));
    QVERIFY2(!folder_.HasList(), "showing the window wrote a file");

    QTest::mouseClick(window_.findChild<QPushButton*>(QStringLiteral("Command1")), Qt::LeftButton);

    QCOMPARE(reports, 0);
    first_ = folder_.List();
    QCOMPARE(first_, ui_test::GoldenDefaultList());
}

void FirstPressTest::secondPressContinuesTheSequence()
{
    // The same two runs with a sampler of our own, in a folder of our own.
    QByteArray expected;
    {
        ScratchFolder mirror;
        generation::CoefficientSampler sampler;
        const generation::GenerationParameters defaults;
        generation::GenerationRun(defaults, sampler, mirror.Path().toStdWString());
        QCOMPARE(mirror.List(), first_);
        generation::GenerationRun(defaults, sampler, mirror.Path().toStdWString());
        expected = mirror.List();
    }

    QTest::mouseClick(window_.findChild<QPushButton*>(QStringLiteral("Command1")), Qt::LeftButton);

    const QByteArray second = folder_.List();
    QCOMPARE(second, expected);
    QVERIFY(second != first_);
    QCOMPARE(std::size_t(CrlfLines(second).size()), list_layout::Lines(30));
    QCOMPARE(CrlfLines(second).mid(0, list_layout::PlayerLine(2) - 1), CrlfLines(first_).mid(0, list_layout::PlayerLine(2) - 1));
}

QTEST_MAIN(FirstPressTest)
#include "first_press_test.moc"
