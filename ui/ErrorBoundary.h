#pragma once

#include <exception>
#include <utility>

#include "core/Exception.h"
#include "ui/Messages.h"

// Runs a handler body so that no exception crosses a Qt signal or event: EAbort ends it
// silently, any other error ends it with an error box. Returns true when it ran to the end.
template <typename Body>
bool Guarded(Body&& body)
{
    try {
        std::forward<Body>(body)();
        return true;
    } catch (const EAbort&) {
    } catch (const Exception& error) {
        Messages::ShowError(error.Message());
    } catch (const std::exception& error) {
        Messages::ShowError(QString::fromLocal8Bit(error.what()));
    }
    return false;
}
