// The first-run flow's decisions as a table over what is installed and how a Homebrew
// installation stands, and what finishing stores.
#include "models/modelmanager.h"
#include "platform/preferencekeys.h"
#include "platform/preferences.h"
#include "tests/engine/enginetesthelpers.h"
#include "tests/support/storedstate.h"
#include "tests/support/testenvironment.h"
#include "ui/onboarding/onboardingflow.h"

using Flow = OnboardingFlow;
using Kind = BrewInstallState::Kind;
Q_DECLARE_METATYPE(Flow::EngineHeader)
Q_DECLARE_METATYPE(Flow::EnginePanel)
Q_DECLARE_METATYPE(Flow::FirstControl)
Q_DECLARE_METATYPE(Flow::DefaultButton)
Q_DECLARE_METATYPE(BrewInstallState::Kind)

class OnboardingTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { failOnUnexpectedWarnings(); }

    void engineStep_data()
    {
        columns<bool, bool, Kind, Flow::EngineHeader>("engine", "brew", "install", "header");
        columns<Flow::EnginePanel, bool, bool>("panel", "engineContinue", "skip");
        // Continue from step 0, Back from step 2; on step 1, what has focus and what Return presses.
        columns<int, int>("forward", "back");
        columns<Flow::FirstControl, Flow::DefaultButton>("first", "return");
        using H = Flow::EngineHeader;
        using P = Flow::EnginePanel;
        using F = Flow::FirstControl;
        using D = Flow::DefaultButton;
        QTest::newRow("engine installed")
            << true << true << Kind::Idle << H::Ready << P::Nothing << true << false << 2 << 0
            << F::FocusEngineContinue << D::DefaultEngineContinue;
        QTest::newRow("engine, no Homebrew")
            << true << false << Kind::Idle << H::Ready << P::Nothing << true << true << 2 << 0
            << F::FocusEngineContinue << D::DefaultEngineContinue;
        QTest::newRow("Homebrew, idle")
            << false << true << Kind::Idle << H::Install << P::InstallButton << false << false << 1
            << 1 << F::FocusInstallButton << D::NoDefault;
        QTest::newRow("installing")
            << false << true << Kind::Installing << H::Install << P::Installing << false << false
            << 1 << 1 << F::FocusNothing << D::NoDefault;
        QTest::newRow("failed") << false << true << Kind::Failed << H::Install << P::Failed << false
                                << false << 1 << 1 << F::FocusTryAgain << D::NoDefault;
        QTest::newRow("succeeded")
            << false << true << Kind::Succeeded << H::Install << P::Nothing << true << false << 2
            << 0 << F::FocusEngineContinue << D::DefaultEngineContinue;
        QTest::newRow("no Homebrew")
            << false << false << Kind::Idle << H::HomebrewRequired << P::TerminalInstructions
            << false << true << 1 << 1 << F::FocusHomebrewCommand << D::DefaultSkip;
    }

    void engineStep()
    {
        const auto [engine, brew, install] = fetch<bool, bool, Kind>("engine", "brew", "install");
        const Flow::Facts facts{engine, brew, install};
        QTEST(Flow::engineHeader(facts), "header");
        QTEST(Flow::enginePanel(facts), "panel");
        const Flow::Buttons step1 = Flow::buttons(1, facts);
        QTEST(step1.engineContinue, "engineContinue");
        QTEST(step1.skip, "skip");
        QTEST(step1.defaultButton, "return");
        QTEST(Flow::firstControl(1, facts), "first");
        QVERIFY(step1.back);
        QCOMPARE(step1.primary, Flow::PrimaryButton::None);
        QTEST(Flow::stepAfter(0, facts), "forward");
        QTEST(Flow::stepBefore(2, facts), "back");
        QCOMPARE(Flow::stepAfter(1, facts), 2);
        QCOMPARE(Flow::stepBefore(1, facts), 0);

        const Flow::Buttons step0 = Flow::buttons(0, facts);
        QVERIFY(!step0.back && !step0.engineContinue && !step0.skip);
        QCOMPARE(step0.primary, Flow::PrimaryButton::Continue);
        const Flow::Buttons step2 = Flow::buttons(2, facts);
        QVERIFY(step2.back && !step2.engineContinue && !step2.skip);
        QCOMPARE(step2.primary, Flow::PrimaryButton::GetStarted);
    }

    // With the engine installed and a model on disk: Return on step 0 still shows step 1,
    // where Return presses Continue; Continue on step 0 passes over it; Return on step 2
    // finishes, storing the trimmed name, the style and the flag. (The starter-model
    // prompt is walked in tst_onboarding.qml.)
    void walkAndFinish()
    {
        ServerManager serverManager(enginetest::standinOptions());
        ModelManager models;
        const HFModel &model = models.models().last();
        QVERIFY(writeTestFile(ModelManager::filePath(model, model.variants.first()), "GGUF"));
        models.refreshDownloadStatus();
        const auto cleanup = qScopeGuard(clearStoredState);

        Flow flow;
        flow.setServerManager(&serverManager);
        flow.setModelManager(&models);
        QSignalSpy finished(&flow, &Flow::finished);
        flow.setUserName(QStringLiteral("   "));
        QVERIFY(!flow.primaryEnabled());
        flow.submitName();
        flow.goOn();
        QCOMPARE(flow.step(), 0);

        flow.setUserName(QStringLiteral("  Ada \n"));
        flow.pressReturn();
        QCOMPARE(flow.step(), 1);
        flow.pressReturn(); // "Continue"
        QCOMPARE(flow.step(), 2);
        flow.goBack();
        QCOMPARE(flow.step(), 0);
        flow.goOn();
        QCOMPARE(flow.step(), 2);
        flow.setResponseStyle(QStringLiteral("concise"));
        QVERIFY(!Preferences::string(PreferenceKey::userName));

        flow.pressReturn(); // "Get Started"
        QVERIFY(!flow.showAutoDownloadPrompt());
        QCOMPARE(finished.count(), 1);
        QCOMPARE(Preferences::string(PreferenceKey::userName), QStringLiteral("Ada"));
        QCOMPARE(Preferences::string(PreferenceKey::responseStyle), QStringLiteral("concise"));
        QVERIFY(Preferences::boolean(PreferenceKey::onboardingComplete));

        // Shown again, it starts over.
        flow.reset();
        QCOMPARE(flow.step(), 0);
        QCOMPARE(flow.userName(), QString());
        QCOMPARE(flow.responseStyle(), QStringLiteral("balanced"));
    }
};

TOVRA_TEST_MAIN(OnboardingTest, QCoreApplication)
#include "tst_onboardingflow.moc"
