#pragma once

#include "platform/serviceresult.h"

class Trash
{
public:
    // Moves a file or folder into the user's Trash (the freedesktop Trash on Linux) and
    // gives the place it went to; never deletes outright. The error's description is the
    // reason only, without the path.
    static ServiceResult<QString> moveToTrash(const QString &path);
};
