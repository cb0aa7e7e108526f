#include "engine/brewinstallstate.h"

QString BrewInstallState::kindName() const
{
    switch (m_kind) {
    case Kind::Idle:
        return QStringLiteral("idle");
    case Kind::Installing:
        return QStringLiteral("installing");
    case Kind::Succeeded:
        return QStringLiteral("succeeded");
    case Kind::Failed:
        return QStringLiteral("failed");
    }
    return {};
}
