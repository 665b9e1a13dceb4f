#pragma once

#include "libreoffice/layer.h"

// Internal to the adapter: the only header besides the generated ones that
// brings UNO types in. Never include it outside chart/.

#include "libreoffice/process/engineprocess.h"
#include "spreadsheet/spreadsheetserver.h"

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/uno/Exception.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>
#include <rtl/ustring.hxx>

#include <QFileInfo>
#include <QString>
#include <QUrl>

#include <initializer_list>

using rtl::OUString;
using css::uno::Any;
using css::uno::Reference;
using css::uno::Sequence;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;

struct EngineConnection {
    css::uno::Reference<css::uno::XComponentContext> context;
    css::uno::Reference<css::frame::XDesktop2> desktop;
};

inline QString toQString(const OUString &text)
{
    return QString(reinterpret_cast<const QChar *>(text.getStr()), text.getLength());
}

inline OUString toOUString(const QString &text)
{
    return OUString(reinterpret_cast<const sal_Unicode *>(text.utf16()), text.size());
}

// One named argument of a UNO call (a load or store option, a filter setting).
inline css::beans::PropertyValue property(const char *name, const css::uno::Any &value)
{
    css::beans::PropertyValue result;
    result.Name = OUString::createFromAscii(name);
    result.Value = value;
    return result;
}

// The named arguments of a UNO call.
inline css::uno::Sequence<css::beans::PropertyValue> properties(std::initializer_list<css::beans::PropertyValue> list)
{
    return css::uno::Sequence<css::beans::PropertyValue>(list.begin(), sal_Int32(list.size()));
}

// The URL the engine is given for a local file.
inline OUString fileUrl(const QString &path)
{
    return toOUString(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toString(QUrl::FullyEncoded));
}

// Runs one exchange with the engine under its watchdog and turns whatever UNO
// throws into a SpreadsheetError that says what was being done.
template <typename Call>
auto engineCall(EngineProcess &engine, const QString &action, Call &&call) -> decltype(call())
{
    try {
        EngineProcess::WatchedCall watched(engine);
        return call();
    } catch (const css::uno::Exception &e) {
        engine.endIfOutOfMemory();
        const QString description = engine.describeFailure(action, toQString(e.Message));
        // Whatever the bridge said, a dead or stopped instance is the cause.
        if (engine.watchdogFired() || !engine.isRunning())
            throw InstanceLostError(description);
        throw SpreadsheetError(description);
    } catch (const InstanceLostError &) {
        throw;
    } catch (const SpreadsheetError &) {
        // Some calls answer a lack of memory with no document rather than an exception.
        if (engine.endIfOutOfMemory())
            throw InstanceLostError(engine.describeFailure(action, QString()));
        throw;
    }
}
