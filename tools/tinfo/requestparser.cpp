#include "requestparser.h"

#include <boost/beast/core/string.hpp>
#include <boost/beast/http/error.hpp>

namespace http = boost::beast::http;
using boost::beast::error_code;
using boost::beast::string_view;

namespace {

// Whether a comma-separated Connection value holds token (any case).
bool HasToken(string_view list, string_view token) {
    size_t at = 0;
    while (at <= list.size()) {
        size_t comma = list.find(',', at);
        string_view item = list.substr(at, comma == string_view::npos ? string_view::npos : comma - at);
        while (!item.empty() && (item.front() == ' ' || item.front() == '\t'))
            item.remove_prefix(1);
        while (!item.empty() && (item.back() == ' ' || item.back() == '\t'))
            item.remove_suffix(1);
        if (item.size() == token.size()) {
            bool same = true;
            for (size_t i = 0; i < item.size() && same; ++i)
                same = (item[i] | 0x20) == (token[i] | 0x20);
            if (same)
                return true;
        }
        if (comma == string_view::npos)
            break;
        at = comma + 1;
    }
    return false;
}

// Range and the conditions are short; a longer value is not one a client sends.
constexpr size_t kMaxKeptValue = 256;

}  // namespace

RequestParser::RequestParser() {
    header_limit(kMaxHeaderBytes);
    body_limit(0);
}

void RequestParser::on_request_impl(http::verb, string_view methodText, string_view target, int version,
                                    error_code& ec) {
    if (target.size() > kMaxTarget) {
        refusal_ = Refusal::TargetTooLong;
        ec = http::error::header_limit;
        return;
    }
    request_.method.assign(methodText.data(), methodText.size());
    request_.target.assign(target.data(), target.size());
    request_.version = version;
}

void RequestParser::on_response_impl(int, string_view, int, error_code& ec) { ec = http::error::bad_method; }

void RequestParser::on_field_impl(http::field name, string_view nameText, string_view value, error_code& ec) {
    if (++fields_ > kMaxFields) {
        refusal_ = Refusal::TooManyFields;
        ec = http::error::header_limit;
        return;
    }
    auto keep = [&](std::string& into) {
        if (value.size() <= kMaxKeptValue)
            into.assign(value.data(), value.size());
    };
    switch (name) {
    case http::field::range: keep(request_.range); break;
    case http::field::if_range: keep(request_.ifRange); break;
    case http::field::if_none_match: keep(request_.ifNoneMatch); break;
    case http::field::connection:
        connectionClose_ = connectionClose_ || HasToken(value, "close");
        connectionKeepAlive_ = connectionKeepAlive_ || HasToken(value, "keep-alive");
        break;
    default:
        if (boost::beast::iequals(nameText, "X-Forwarded-For"))
            keep(request_.forwardedFor);
        break;
    }
}

void RequestParser::on_header_impl(error_code& ec) {
    // A chunked body would only be looked at once its first bytes arrive.
    if (chunked()) {
        refusal_ = Refusal::HasBody;
        ec = http::error::body_limit;
        return;
    }
    request_.keepAlive = request_.version >= 11 ? !connectionClose_ : (connectionKeepAlive_ && !connectionClose_);
}

void RequestParser::on_body_init_impl(const boost::optional<std::uint64_t>& length, error_code& ec) {
    if (!length || *length > 0) {
        refusal_ = Refusal::HasBody;
        ec = http::error::body_limit;
    }
}

std::size_t RequestParser::on_body_impl(string_view, error_code& ec) {
    refusal_ = Refusal::HasBody;
    ec = http::error::body_limit;
    return 0;
}

void RequestParser::on_chunk_header_impl(std::uint64_t, string_view, error_code& ec) {
    refusal_ = Refusal::HasBody;
    ec = http::error::body_limit;
}

std::size_t RequestParser::on_chunk_body_impl(std::uint64_t, string_view, error_code& ec) {
    refusal_ = Refusal::HasBody;
    ec = http::error::body_limit;
    return 0;
}

void RequestParser::on_finish_impl(error_code&) {}
