#pragma once

#include "engine/brewinstallstate.h"
#include "engine/servermanager.h"
#include "models/modelmanager.h"

#include <QObject>
#include <QPointer>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

// The first-run flow's decisions: which step it shows, where Continue, Back and Skip
// lead, which of them are offered, and what step 1 says about the engine. The view
// draws it and forwards presses; nothing is stored before finish().
class OnboardingFlow : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(ServerManager *serverManager READ serverManager WRITE setServerManager NOTIFY
                   serverManagerChanged)
    Q_PROPERTY(ModelManager *modelManager READ modelManager WRITE setModelManager NOTIFY
                   modelManagerChanged)
    Q_PROPERTY(int step READ step NOTIFY stepChanged)
    Q_PROPERTY(int totalSteps READ totalSteps CONSTANT)
    Q_PROPERTY(QString userName READ userName WRITE setUserName NOTIFY userNameChanged)
    Q_PROPERTY(
        QString responseStyle READ responseStyle WRITE setResponseStyle NOTIFY responseStyleChanged)
    Q_PROPERTY(bool showAutoDownloadPrompt READ showAutoDownloadPrompt NOTIFY
                   showAutoDownloadPromptChanged)
    Q_PROPERTY(EngineHeader engineHeader READ engineHeader NOTIFY layoutChanged)
    Q_PROPERTY(EnginePanel enginePanel READ enginePanel NOTIFY layoutChanged)
    Q_PROPERTY(bool showsBack READ showsBack NOTIFY layoutChanged)
    Q_PROPERTY(PrimaryButton primaryButton READ primaryButton NOTIFY layoutChanged)
    Q_PROPERTY(bool primaryEnabled READ primaryEnabled NOTIFY layoutChanged)
    Q_PROPERTY(bool showsEngineContinue READ showsEngineContinue NOTIFY layoutChanged)
    Q_PROPERTY(bool showsSkip READ showsSkip NOTIFY layoutChanged)
    Q_PROPERTY(DefaultButton defaultButton READ defaultButton NOTIFY layoutChanged)
    Q_PROPERTY(FirstControl firstControl READ firstControl NOTIFY firstControlChanged)
    // Maps of value, icon, title and subtitle, in display order.
    Q_PROPERTY(QVariantList responseStyles READ responseStyles CONSTANT)
    Q_PROPERTY(QString homebrewInstallCommand READ homebrewInstallCommand CONSTANT)
    // The texts that name the platform, in this platform's words.
    Q_PROPERTY(QString installEngineText READ installEngineText CONSTANT)
    Q_PROPERTY(QString starterModelText READ starterModelText CONSTANT)

public:
    // Step 1's header.
    enum class EngineHeader { Ready, Install, HomebrewRequired };
    Q_ENUM(EngineHeader)
    // What step 1 shows under its header.
    enum class EnginePanel { Nothing, TerminalInstructions, InstallButton, Installing, Failed };
    Q_ENUM(EnginePanel)
    // The prominent button of steps 0 and 2.
    enum class PrimaryButton { None, Continue, GetStarted };
    Q_ENUM(PrimaryButton)
    // What Return presses when no button has focus: the way on, never a step with
    // effects of its own such as installing. (QML sees every enum's values in one scope,
    // hence the prefixes.)
    enum class DefaultButton { NoDefault, DefaultPrimary, DefaultEngineContinue, DefaultSkip };
    Q_ENUM(DefaultButton)
    // Where focus goes when the step, or what step 1 shows, changes: the step's first
    // control, or its default button where it has none.
    enum class FirstControl {
        FocusNothing,
        FocusNameField,
        FocusHomebrewCommand,
        FocusInstallButton,
        FocusTryAgain,
        FocusEngineContinue,
        FocusSkip,
        FocusFirstStyle
    };
    Q_ENUM(FirstControl)

    // What the flow's decisions depend on besides the step.
    struct Facts
    {
        bool engineInstalled = false;
        bool brewInstalled = false;
        BrewInstallState::Kind brew = BrewInstallState::Kind::Idle;
    };
    struct Buttons
    {
        bool back = false;
        PrimaryButton primary = PrimaryButton::None;
        bool engineContinue = false;
        bool skip = false;
        DefaultButton defaultButton = DefaultButton::NoDefault;
    };

    static constexpr int totalSteps() { return 3; }
    // Where Continue (forward) and Back lead; the engine step is passed over when
    // there is nothing left to do on it.
    static int stepAfter(int step, const Facts &facts);
    static int stepBefore(int step, const Facts &facts);
    static Buttons buttons(int step, const Facts &facts);
    static EngineHeader engineHeader(const Facts &facts);
    static EnginePanel enginePanel(const Facts &facts);
    static FirstControl firstControl(int step, const Facts &facts);

    using QObject::QObject;

    ServerManager *serverManager() const { return m_serverManager; }
    void setServerManager(ServerManager *manager);
    ModelManager *modelManager() const { return m_modelManager; }
    void setModelManager(ModelManager *manager);

    int step() const { return m_step; }
    QString userName() const { return m_userName; }
    void setUserName(const QString &name);
    QString responseStyle() const { return m_responseStyle; }
    void setResponseStyle(const QString &style);
    bool showAutoDownloadPrompt() const { return m_showAutoDownloadPrompt; }
    Facts facts() const { return m_facts; }

    EngineHeader engineHeader() const { return engineHeader(m_facts); }
    EnginePanel enginePanel() const { return enginePanel(m_facts); }
    bool showsBack() const { return buttons(m_step, m_facts).back; }
    PrimaryButton primaryButton() const { return buttons(m_step, m_facts).primary; }
    bool primaryEnabled() const;
    bool showsEngineContinue() const { return buttons(m_step, m_facts).engineContinue; }
    bool showsSkip() const { return buttons(m_step, m_facts).skip; }
    DefaultButton defaultButton() const { return buttons(m_step, m_facts).defaultButton; }
    FirstControl firstControl() const { return firstControl(m_step, m_facts); }
    static QVariantList responseStyles();
    static QString homebrewInstallCommand();
    static QString installEngineText();
    static QString starterModelText();

    // Back to the start: step 0, no name, "balanced".
    Q_INVOKABLE void reset();
    // Return in the name field: on to step 1 (never past it) once a name is typed.
    Q_INVOKABLE void submitName();
    // Return outside a button: the name field's Return on step 0, else the default button.
    Q_INVOKABLE void pressReturn();
    Q_INVOKABLE void goBack();
    // The prominent button: on, or at the last step the end (or the starter question).
    Q_INVOKABLE void goOn();
    // Step 1's "Continue" and "Skip".
    Q_INVOKABLE void leaveEngineStep();
    Q_INVOKABLE void installEngine();
    // The starter question's download: the catalogue's first variant, then finish.
    Q_INVOKABLE void downloadStarterModel();
    // Stores the name, the style and that onboarding is complete, then finished().
    Q_INVOKABLE void finish();

signals:
    void serverManagerChanged();
    void modelManagerChanged();
    void stepChanged();
    void userNameChanged();
    void responseStyleChanged();
    void showAutoDownloadPromptChanged();
    void layoutChanged();
    void firstControlChanged();
    void finished();

private:
    void setStep(int step);
    void announceLayout();
    void setShowAutoDownloadPrompt(bool show);
    void refreshFacts();
    bool hasDownloadedModel() const;

    QPointer<ServerManager> m_serverManager;
    QPointer<ModelManager> m_modelManager;
    Facts m_facts;
    int m_step = 0;
    QString m_userName;
    QString m_responseStyle = QStringLiteral("balanced");
    bool m_showAutoDownloadPrompt = false;
    FirstControl m_firstControl = FirstControl::FocusNameField;
};
