#pragma once

#include <QString>

// Every key of the preference store, in one place for the product and its tests.
namespace PreferenceKey {
inline const QString systemPrompt = QStringLiteral("systemPrompt");
inline const QString temperature = QStringLiteral("temperature");
inline const QString maxTokens = QStringLiteral("maxTokens");
inline const QString autoLoadModelPath = QStringLiteral("autoLoadModelPath");
inline const QString autoLoadModelName = QStringLiteral("autoLoadModelName");
inline const QString chatSessions = QStringLiteral("chatSessions");
inline const QString userName = QStringLiteral("userName");
inline const QString responseStyle = QStringLiteral("responseStyle");
inline const QString onboardingComplete = QStringLiteral("onboardingComplete");
inline const QString completionSoundEnabled = QStringLiteral("completionSoundEnabled");
// Whether models may think before answering, and whether their thinking is shown.
inline const QString thinkingEnabled = QStringLiteral("thinkingEnabled");
inline const QString showThinking = QStringLiteral("showThinking");
// The chat screen's once-only celebration of the first good reply.
inline const QString firstReplyCelebrated = QStringLiteral("firstReplyCelebrated");
// The remote engine: its address, the model chosen there, and whether it is the one in use.
// Its key is in the keychain, never here.
inline const QString remoteEngineAddress = QStringLiteral("remoteEngineAddress");
inline const QString remoteEngineModel = QStringLiteral("remoteEngineModel");
inline const QString remoteEngineInUse = QStringLiteral("remoteEngineInUse");
// Tool servers: the tools that run without asking, and the tools switched off, each a JSON
// object of tool-name lists by server name.
inline const QString toolServerAlwaysAllow = QStringLiteral("toolServerAlwaysAllow");
inline const QString toolServerDisabledTools = QStringLiteral("toolServerDisabledTools");
} // namespace PreferenceKey
