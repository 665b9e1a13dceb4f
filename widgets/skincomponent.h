#pragma once

#include "widgets/layer.h"

#include <QVariant>
#include <QVariantList>

// A skin component as the main window reaches it: by dispatch identifier, the
// way an automation control is driven, not by name.
class SkinComponent
{
public:
    virtual ~SkinComponent() = default;

    virtual QVariant invoke(int dispatchId, const QVariantList &arguments) = 0;
    virtual QVariant property(int dispatchId) const = 0;
    virtual void setProperty(int dispatchId, const QVariant &value) = 0;
};
