#pragma once

// The hub search's types as QML sees them, through ModelLibraryModel's properties.

#include "models/hubfilelistmodel.h"
#include "models/hubsearch.h"

#include <QtQml/qqml.h>

struct ForeignHubSearch
{
    Q_GADGET
    QML_FOREIGN(HubSearch)
    QML_NAMED_ELEMENT(HubSearch)
    QML_UNCREATABLE("Provided by ModelLibraryModel")
};

struct ForeignHubFileListModel
{
    Q_GADGET
    QML_FOREIGN(HubFileListModel)
    QML_NAMED_ELEMENT(HubFileListModel)
    QML_UNCREATABLE("Provided by ModelLibraryModel")
};
