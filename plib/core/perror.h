// The error classes every failure is thrown as, the process-wide error
// callback, and the always-on assertion.
#pragma once
#include <cstdint>

class PString;

class PError {
public:
    // Told about every error at the moment it is built.
    class Callback {
    public:
        virtual void report(const char* message) = 0;
        virtual ~Callback() {}
    };

    explicit PError(const char* text);
    PError(const PError& other);
    PError& operator=(const PError& other);
    ~PError();

    const char* why() const;

protected:
    PError() : message_(nullptr) {}
    // Takes the finished text and tells the callback about it.
    void set(PString* text);

private:
    PString* message_;
};

class PInternalError : public PError {
public:
    explicit PInternalError(const char* text);
protected:
    PInternalError() {}
};

class PAssert : public PInternalError {
public:
    PAssert(const char* expression, const char* file, int line);
};

class PSystemError : public PInternalError {
public:
    PSystemError(const char* text, uint32_t code);
    // The system's error code the text names.
    uint32_t code() const { return code_; }

private:
    uint32_t code_;
};

class PFatalError : public PInternalError {
protected:
    PFatalError() {}
};

class PSystemMemoryError : public PFatalError {
public:
    PSystemMemoryError(const char* text, uint64_t bytes);
};

class PI18NError : public PError {
public:
    explicit PI18NError(const char* text);
};

// Installs the process-wide error callback (taking ownership); null uninstalls.
void SetErrorCallback(PError::Callback* callback);

// The system's description of an error code, CR and LF turned into blanks;
// false when the system has none.
bool PSystemErrorDescription(uint32_t code, PString& out);

// Each source file names itself for its assertions by defining PASSERT_SOURCE
// before including this header (for example "InstallerThread").
#ifndef PASSERT_SOURCE
#define PASSERT_SOURCE __FILE__
#endif
#define PASSERT(cond)                                          \
    do {                                                       \
        if (!(cond))                                           \
            throw PAssert(#cond, PASSERT_SOURCE, __LINE__);    \
    } while (0)
