// The account a token belongs to (accountsid.h).
#include "accountsid.h"

#include <sddl.h>

#include <vector>

#include "punique.h"

bool TokenAccountSid(HANDLE token, std::wstring* sid, std::wstring* name) {
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    if (size == 0) return false;
    std::vector<unsigned char> buffer(size);
    if (!GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) return false;
    const PSID account = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
    LPWSTR text = nullptr;
    if (!ConvertSidToStringSidW(account, &text)) return false;
    const UniqueLocalMemory owned(text);
    *sid = text;
    if (name) {
        wchar_t user[256] = {}, domain[256] = {};
        DWORD userLength = 256, domainLength = 256;
        SID_NAME_USE use;
        name->clear();
        if (LookupAccountSidW(nullptr, account, user, &userLength, domain, &domainLength, &use))
            *name = domain[0] ? std::wstring(domain) + L"\\" + user : std::wstring(user);
    }
    return true;
}

std::wstring CurrentAccountSid() {
    UniqueHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) return std::wstring();
    std::wstring sid;
    TokenAccountSid(token.get(), &sid);
    return sid;
}
