#pragma once

#include "core/Exception.h"

// An error of the statement engine: a template that cannot be read, a missing table cell,
// a document that cannot be saved. The message is for the user.
class EWordError : public Exception
{
public:
    using Exception::Exception;
};
