// Internal to the system-call wrappers: one narrow text on its way into a
// W or A function, and one coming back.
#pragma once
#include <windows.h>

#include "pencoding.h"
#include "pstring.h"

// Converts once at construction; the buffers live as long as the object.
// wide(): UTF-16 for the W function (mutable: CreateProcessW writes into its
// command line). ansi(): the text for the A function — unchanged when no
// encoding was given, otherwise UTF-16 taken to the ANSI code page.
// A null text gives null from both.
class _PSysText {
public:
    _PSysText(const char* text, const PStringEncoding* encoding, bool wideMode, bool crLf = false)
        : null_(text == nullptr), encoded_(encoding != nullptr), raw_(text) {
        if (null_ || !encoded_)
            return;
        if (crLf)
            ToWideCrLf(wide_, text, encoding);
        else
            ToWide(wide_, text, encoding);
        wide_.terminate();
        if (!wideMode) {
            WideToAnsi(ansi_, wide_.wide());
            converted_ = true;
        }
    }
    _PSysText(const _PSysText&) = delete;
    _PSysText& operator=(const _PSysText&) = delete;

    wchar_t* wide() { return null_ ? nullptr : const_cast<wchar_t*>(wide_.wide()); }
    const char* ansi() const { return null_ ? nullptr : converted_ ? ansi_.text() : raw_; }
    bool empty() const { return null_ || (encoded_ ? wide_.units() <= 1 : !*raw_); }

private:
    bool null_;
    bool encoded_;
    bool converted_ = false;
    const char* raw_;
    PWString wide_;
    PString ansi_;
};

// A wide text of the caller for an A function: its ANSI code page form.
// An atom or resource number in place of a name passes unchanged.
class _PSysAnsiOfWide {
public:
    explicit _PSysAnsiOfWide(const wchar_t* text) : atom_(IS_INTRESOURCE(text)), text_(text) {
        if (!atom_)
            WideToAnsi(ansi_, text);
    }
    const char* get() const { return atom_ ? reinterpret_cast<const char*>(text_) : ansi_.text(); }

private:
    bool atom_;
    const wchar_t* text_;
    PString ansi_;
};

// Appends an ANSI text coming back from an A function: unchanged with no
// encoding, otherwise through UTF-16 into the encoding.
inline void _PSysAppendAnsi(PString& out, const char* text, const PStringEncoding* encoding, bool dropCr) {
    if (!encoding) {
        for (const char* p = text; *p; ++p)
            if (!(dropCr && *p == '\r'))
                out.append(*p);
        return;
    }
    PWString w;
    AnsiToWide(w, text);
    if (dropCr)
        FromWideNoCr(out, w.wide(), encoding);
    else
        FromWide(out, w.wide(), encoding);
}
