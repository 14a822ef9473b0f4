// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The little JSON the command line writes: objects keep the order their members were added in,
// so that the output reads in the order of the work done.
#include <cstdint>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace zelbor::cli {

class Json {
public:
    using Array = std::vector<Json>;
    using Members = std::vector<std::pair<std::string, Json>>;

    Json() : v_(nullptr) {}
    Json(std::nullptr_t) : v_(nullptr) {}
    Json(bool b) : v_(b) {}
    Json(int n) : v_(static_cast<long long>(n)) {}
    Json(long long n) : v_(n) {}
    Json(const char* s) : v_(std::string(s)) {}
    Json(std::string s) : v_(std::move(s)) {}
    Json(Array a) : v_(std::move(a)) {}

    static Json Object()
    {
        Json j;
        j.v_ = Members{};
        return j;
    }

    // Objects: sets a member, replacing one of the same name.
    Json& Set(const std::string& name, Json value);
    // Arrays (a null value becomes an empty array first).
    Json& Push(Json value);
    bool IsObject() const { return std::holds_alternative<Members>(v_); }

    std::string Dump() const;

private:
    void DumpTo(std::string& out) const;
    std::variant<std::nullptr_t, bool, long long, std::string, Array, Members> v_;
};

// The string as a JSON string literal. Bytes that are no valid UTF-8 (a controller's name is
// single-byte characters) are written as the Latin-1 character of the same number.
std::string Quote(const std::string& text);

} // namespace zelbor::cli
