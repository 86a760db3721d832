#include "perror.h"

#include "pstring.h"

namespace {
PError::Callback* g_callback = nullptr;
}

void SetErrorCallback(PError::Callback* callback) {
    PError::Callback* old = g_callback;
    g_callback = callback;
    delete old;
}

PError::PError(const char* text) : message_(nullptr) { set(new PString(text)); }

PError::PError(const PError& other)
    : message_(other.message_ ? new PString(*other.message_) : nullptr) {}

PError& PError::operator=(const PError& other) {
    if (this != &other) {
        PString* copy = other.message_ ? new PString(*other.message_) : nullptr;
        delete message_;
        message_ = copy;
    }
    return *this;
}

PError::~PError() { delete message_; }

const char* PError::why() const { return message_ ? message_->text() : "out of memory"; }

void PError::set(PString* text) {
    delete message_;
    message_ = text;
    if (g_callback)
        g_callback->report(message_->text());
}

PInternalError::PInternalError(const char* text) { set(new PString(text)); }

PAssert::PAssert(const char* expression, const char* file, int line) {
    PString* s = new PString("Assertion failed: ");
    s->append(expression).append(", file ").append(file).append(", line ").appendInt(line);
    set(s);
}

PSystemError::PSystemError(const char* text, uint32_t code) : code_(code) {
    PString* s = new PString(text);
    PString description;
    if (PSystemErrorDescription(code, description)) {
        // The system's texts end in CR LF, now two blanks: they separate the code.
        s->append(": ").append(description);
        s->append(description.text()[description.length() - 1] == ' ' ? "(" : " (");
    }
    else
        s->append(": Unknown error (");
    s->appendUint(code).append("=0x").appendHex(code).append(")");
    set(s);
}

namespace {
// Set while a memory error builds its text: when that text cannot be allocated
// either, the inner error stays without text instead of recursing without end.
thread_local bool t_buildingMemoryError = false;
}

PSystemMemoryError::PSystemMemoryError(const char* text, uint64_t bytes) {
    if (t_buildingMemoryError)
        return;
    struct Guard {
        Guard() { t_buildingMemoryError = true; }
        ~Guard() { t_buildingMemoryError = false; }
    } guard;
    PString* s = new PString(text);
    try {
        s->append(": 0x").appendHex64(bytes);
    } catch (...) {
        delete s;
        throw;
    }
    set(s);
}

PI18NError::PI18NError(const char* text) { set(new PString(text)); }
