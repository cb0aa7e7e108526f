#include "engine/enginesetup.h"

EngineSetup::Block EngineSetup::blockFor(const Facts &facts)
{
    using Kind = BrewInstallState::Kind;
    if (facts.isUninstalling)
        return Block::Uninstalling;
    if (facts.engineInstalled)
        return facts.engineFromHomebrew ? Block::HomebrewReady : Block::Ready;
    if (!facts.brewInstalled)
        return Block::HomebrewMissing;
    switch (facts.brew) {
    case Kind::Idle:
        return Block::Install;
    case Kind::Installing:
        return Block::Installing;
    case Kind::Succeeded:
        return Block::Installed;
    case Kind::Failed:
        break;
    }
    return Block::InstallFailed;
}
