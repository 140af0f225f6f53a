#include "zest_internal.h"

#include <atomic>

namespace {

std::atomic<ZestErrorHandler> errorHandler{nullptr};

const char *const kMessages[] = {
    "Error communicating with socket",
    "An unspecified internal error occurred",
    "Status code is out of range",
    "NULL was used illegally as one of the parameter values",
    "Not enough memory to complete the requested operation",
    "The requested connection type is invalid",
    "The requested connection is invalid",
    "The connection was closed unexpectedly",
    "Operation timed out",
    "One of the parameters has an illegal value",
    "This function is not supported by the GigExpedite firmware version installed",
};

const char *MessageFor(ZestStatus status)
{
    if (status == ZestOk)
        return "Success (no error)";
    if (status >= ZestSocketError && status <= ZestNotSupported)
        return kMessages[status - ZestSocketError];
    return nullptr;
}

}  // namespace

namespace zest {

ZestStatus ReportFailure(const char *function, ZestModuleInfo *card, ZestStatus status)
{
    const ZestErrorHandler handler = errorHandler.load();
    if (handler) {
        const char *message = MessageFor(status);
        handler(function, card, status, message ? message : MessageFor(ZestStatusOutOfRange));
    }
    return status;
}

}  // namespace zest

ZestStatus ZestETM1GetErrorMessage(ZestStatus status, const char **message)
{
    if (!message)
        return zest::ReportFailure("ZestETM1GetErrorMessage", nullptr, ZestNullParameter);
    const char *text = MessageFor(status);
    if (!text) {
        // Callers print the text whatever the result, so give them the reason.
        *message = MessageFor(ZestStatusOutOfRange);
        return zest::ReportFailure("ZestETM1GetErrorMessage", nullptr, ZestStatusOutOfRange);
    }
    *message = text;
    return ZestOk;
}

ZestStatus ZestETM1RegisterErrorHandler(ZestErrorHandler handler)
{
    errorHandler.store(handler);
    return ZestOk;
}
