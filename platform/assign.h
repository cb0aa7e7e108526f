#pragma once

// Stores a property's new value; true when it changed, so that the caller
// announces only real changes.
template<typename T>
bool assignIfChanged(T &member, const T &value)
{
    if (member == value)
        return false;
    member = value;
    return true;
}
