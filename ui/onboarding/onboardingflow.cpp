#include "ui/onboarding/onboardingflow.h"

#include "engine/enginesetup.h"

#include "core/replytext.h"
#include "engine/servermanager.h"
#include "models/modelmanager.h"
#include "platform/preferencekeys.h"
#include "platform/preferences.h"
#include "platform/wording.h"

#include <algorithm>

using Kind = BrewInstallState::Kind;

namespace {

constexpr int nameStep = 0;
constexpr int engineStep = 1;
constexpr int styleStep = 2;

// Nothing left to do on the engine step.
bool engineReady(const OnboardingFlow::Facts &facts)
{
    return facts.engineInstalled || facts.brew == Kind::Succeeded;
}

QString trimmed(const QString &text)
{
    return ReplyText::trimWhiteSpaceAndLineBreaks(text).toString();
}

} // namespace

int OnboardingFlow::stepAfter(int step, const Facts &facts)
{
    const int next = std::min(step + 1, totalSteps() - 1);
    return next == engineStep && engineReady(facts) ? styleStep : next;
}

int OnboardingFlow::stepBefore(int step, const Facts &facts)
{
    const int previous = std::max(step - 1, nameStep);
    return previous == engineStep && engineReady(facts) ? nameStep : previous;
}

OnboardingFlow::Buttons OnboardingFlow::buttons(int step, const Facts &facts)
{
    Buttons shown;
    shown.back = step >= engineStep;
    if (step == engineStep) {
        shown.engineContinue = engineReady(facts);
        shown.skip = !facts.brewInstalled;
        shown.defaultButton = shown.engineContinue ? DefaultButton::DefaultEngineContinue
                              : shown.skip         ? DefaultButton::DefaultSkip
                                                   : DefaultButton::NoDefault;
    } else {
        shown.primary
            = step == totalSteps() - 1 ? PrimaryButton::GetStarted : PrimaryButton::Continue;
        shown.defaultButton = DefaultButton::DefaultPrimary;
    }
    return shown;
}

OnboardingFlow::FirstControl OnboardingFlow::firstControl(int step, const Facts &facts)
{
    if (step == nameStep)
        return FirstControl::FocusNameField;
    if (step == styleStep)
        return FirstControl::FocusFirstStyle;
    switch (enginePanel(facts)) {
    case EnginePanel::TerminalInstructions:
        return FirstControl::FocusHomebrewCommand;
    case EnginePanel::InstallButton:
        return FirstControl::FocusInstallButton;
    case EnginePanel::Failed:
        return FirstControl::FocusTryAgain;
    case EnginePanel::Installing:
        // Only Back is offered; a stray key must not go back during the installation.
        return FirstControl::FocusNothing;
    case EnginePanel::Nothing:
        break;
    }
    switch (buttons(step, facts).defaultButton) {
    case DefaultButton::DefaultEngineContinue:
        return FirstControl::FocusEngineContinue;
    case DefaultButton::DefaultSkip:
        return FirstControl::FocusSkip;
    case DefaultButton::NoDefault:
    case DefaultButton::DefaultPrimary:
        break;
    }
    return FirstControl::FocusNothing;
}

OnboardingFlow::EngineHeader OnboardingFlow::engineHeader(const Facts &facts)
{
    if (facts.engineInstalled)
        return EngineHeader::Ready;
    return facts.brewInstalled ? EngineHeader::Install : EngineHeader::HomebrewRequired;
}

OnboardingFlow::EnginePanel OnboardingFlow::enginePanel(const Facts &facts)
{
    // The settings screen's rule, shown as the onboarding step shows it.
    using Block = EngineSetup::Block;
    switch (EngineSetup::blockFor({.engineInstalled = facts.engineInstalled,
                                   .brewInstalled = facts.brewInstalled,
                                   .brew = facts.brew})) {
    case Block::HomebrewMissing:
        return EnginePanel::TerminalInstructions;
    case Block::Install:
        return EnginePanel::InstallButton;
    case Block::Installing:
        return EnginePanel::Installing;
    case Block::InstallFailed:
        return EnginePanel::Failed;
    case Block::Uninstalling:
    case Block::HomebrewReady:
    case Block::Ready:
    case Block::Installed:
        break;
    }
    return EnginePanel::Nothing;
}

QVariantList OnboardingFlow::responseStyles()
{
    const auto style
        = [](const char *value, const char *icon, const char *title, const char *subtitle) {
              return QVariantMap{{QStringLiteral("value"), QString::fromUtf8(value)},
                                 {QStringLiteral("icon"), QString::fromUtf8(icon)},
                                 {QStringLiteral("title"), QString::fromUtf8(title)},
                                 {QStringLiteral("subtitle"), QString::fromUtf8(subtitle)}};
          };
    return {style("concise", "bolt.fill", "Fast & concise", "Short answers, straight to the point"),
            style("balanced",
                  "equal.circle.fill",
                  "Balanced",
                  "Clear, helpful, and reasonably brief"),
            style("detailed",
                  "doc.text.fill",
                  "Detailed & thorough",
                  "Full explanations with context")};
}

QString OnboardingFlow::homebrewInstallCommand()
{
    return homebrewInstallerCommand();
}

QString OnboardingFlow::installEngineText()
{
    return platformWording(QStringLiteral(
        "Install llama.cpp via Homebrew to run local AI models privately on your Mac."));
}

QString OnboardingFlow::starterModelText()
{
    return platformWording(QStringLiteral(
        "No models downloaded yet. Llama 3.2 3B Instruct is fast and works on any Mac."));
}

void OnboardingFlow::setServerManager(ServerManager *manager)
{
    if (m_serverManager == manager)
        return;
    if (m_serverManager)
        disconnect(m_serverManager, nullptr, this, nullptr);
    m_serverManager = manager;
    if (manager) {
        connect(manager,
                &ServerManager::engineInstallationChanged,
                this,
                &OnboardingFlow::refreshFacts);
        connect(manager, &ServerManager::brewInstallStateChanged, this, [this] {
            const Kind before = m_facts.brew;
            refreshFacts();
            // A finished installation moves on by itself.
            if (m_facts.brew == Kind::Succeeded && before != Kind::Succeeded && m_step == engineStep)
                setStep(styleStep);
        });
    }
    refreshFacts();
    emit serverManagerChanged();
}

void OnboardingFlow::setModelManager(ModelManager *manager)
{
    if (m_modelManager == manager)
        return;
    m_modelManager = manager;
    emit modelManagerChanged();
}

void OnboardingFlow::refreshFacts()
{
    Facts facts;
    if (m_serverManager) {
        facts.engineInstalled = m_serverManager->isEngineInstalled();
        facts.brewInstalled = m_serverManager->isBrewInstalled();
        facts.brew = m_serverManager->brewInstallState().kind();
    }
    m_facts = facts;
    announceLayout();
}

void OnboardingFlow::setUserName(const QString &name)
{
    if (m_userName == name)
        return;
    const bool wasEmpty = trimmed(m_userName).isEmpty();
    m_userName = name;
    emit userNameChanged();
    if (wasEmpty != trimmed(name).isEmpty())
        emit layoutChanged();
}

void OnboardingFlow::setResponseStyle(const QString &style)
{
    if (m_responseStyle == style)
        return;
    m_responseStyle = style;
    emit responseStyleChanged();
}

bool OnboardingFlow::primaryEnabled() const
{
    return m_step != nameStep || !trimmed(m_userName).isEmpty();
}

void OnboardingFlow::setStep(int step)
{
    if (m_step == step)
        return;
    m_step = step;
    emit stepChanged();
    announceLayout();
}

void OnboardingFlow::announceLayout()
{
    emit layoutChanged();
    const FirstControl first = firstControl();
    if (first != m_firstControl) {
        m_firstControl = first;
        emit firstControlChanged();
    }
}

void OnboardingFlow::setShowAutoDownloadPrompt(bool show)
{
    if (m_showAutoDownloadPrompt == show)
        return;
    m_showAutoDownloadPrompt = show;
    emit showAutoDownloadPromptChanged();
}

void OnboardingFlow::reset()
{
    refreshFacts();
    setStep(nameStep);
    setUserName(QString());
    setResponseStyle(QStringLiteral("balanced"));
    setShowAutoDownloadPrompt(false);
}

void OnboardingFlow::submitName()
{
    if (m_step == nameStep && !trimmed(m_userName).isEmpty())
        setStep(engineStep);
}

void OnboardingFlow::pressReturn()
{
    switch (defaultButton()) {
    case DefaultButton::DefaultPrimary:
        if (m_step == nameStep)
            submitName();
        else
            goOn();
        break;
    case DefaultButton::DefaultEngineContinue:
    case DefaultButton::DefaultSkip:
        leaveEngineStep();
        break;
    case DefaultButton::NoDefault:
        break;
    }
}

void OnboardingFlow::goBack()
{
    if (buttons(m_step, m_facts).back)
        setStep(stepBefore(m_step, m_facts));
}

void OnboardingFlow::goOn()
{
    if (buttons(m_step, m_facts).primary == PrimaryButton::None || !primaryEnabled())
        return;
    if (m_step < totalSteps() - 1) {
        setStep(stepAfter(m_step, m_facts));
    } else if (!hasDownloadedModel()) {
        setShowAutoDownloadPrompt(true);
    } else {
        finish();
    }
}

void OnboardingFlow::leaveEngineStep()
{
    const Buttons shown = buttons(m_step, m_facts);
    if (shown.engineContinue || shown.skip)
        setStep(styleStep);
}

void OnboardingFlow::installEngine()
{
    // The manager publishes the progress; the flow watches it, never waits for it.
    if (m_serverManager && m_facts.brew != Kind::Installing)
        m_serverManager->installViaHomebrew();
}

bool OnboardingFlow::hasDownloadedModel() const
{
    return m_modelManager
           && std::any_of(m_modelManager->models().cbegin(),
                          m_modelManager->models().cend(),
                          [](const HFModel &model) { return model.hasDownloadedVariant(); });
}

void OnboardingFlow::downloadStarterModel()
{
    if (m_modelManager && !m_modelManager->models().isEmpty()) {
        const HFModel &model = m_modelManager->models().first();
        if (!model.variants.isEmpty())
            m_modelManager->startDownload(model, model.variants.first());
    }
    finish();
}

void OnboardingFlow::finish()
{
    setShowAutoDownloadPrompt(false);
    Preferences::setString(PreferenceKey::userName, trimmed(m_userName));
    Preferences::setString(PreferenceKey::responseStyle, m_responseStyle);
    Preferences::setBoolean(PreferenceKey::onboardingComplete, true);
    emit finished();
}
