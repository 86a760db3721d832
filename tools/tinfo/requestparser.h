// The tag server's HTTP request parser: Beast's parser (the syntax, the
// header's size limit) keeping only what a download needs (method, target,
// version, Connection, Range, If-Range, If-None-Match, X-Forwarded-For) and refusing, as it
// reads, what a download never has: more than kMaxFields header fields, a
// target longer than kMaxTarget, or a body. Nothing it keeps grows with the
// request beyond those bounds. One parser per request; not thread-safe.
#pragma once
#include <boost/beast/http/basic_parser.hpp>

#include "downloadresponse.h"

class RequestParser : public boost::beast::http::basic_parser<true> {
public:
    static constexpr unsigned kMaxHeaderBytes = 8192;  // request line and fields
    static constexpr size_t kMaxTarget = 4096;
    static constexpr unsigned kMaxFields = 64;

    // Why a request was refused, as the status to answer with (0: not refused).
    enum class Refusal { None, TooManyFields, TargetTooLong, HasBody };

    RequestParser();

    const DownloadRequest& request() const { return request_; }
    Refusal refusal() const { return refusal_; }

private:
    void on_request_impl(boost::beast::http::verb method, boost::beast::string_view methodText,
                         boost::beast::string_view target, int version, boost::beast::error_code& ec) override;
    void on_response_impl(int, boost::beast::string_view, int, boost::beast::error_code& ec) override;
    void on_field_impl(boost::beast::http::field name, boost::beast::string_view nameText,
                       boost::beast::string_view value, boost::beast::error_code& ec) override;
    void on_header_impl(boost::beast::error_code& ec) override;
    void on_body_init_impl(const boost::optional<std::uint64_t>& length, boost::beast::error_code& ec) override;
    std::size_t on_body_impl(boost::beast::string_view body, boost::beast::error_code& ec) override;
    void on_chunk_header_impl(std::uint64_t, boost::beast::string_view, boost::beast::error_code& ec) override;
    std::size_t on_chunk_body_impl(std::uint64_t, boost::beast::string_view, boost::beast::error_code& ec) override;
    void on_finish_impl(boost::beast::error_code& ec) override;

    DownloadRequest request_;
    Refusal refusal_ = Refusal::None;
    unsigned fields_ = 0;
    bool connectionClose_ = false, connectionKeepAlive_ = false;
};
