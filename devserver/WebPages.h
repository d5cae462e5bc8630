#pragma once

#include "Store.h"

#include <optional>
#include <string>
#include <string_view>

namespace devserver {

// The pages a member opens in a web browser: registration and profile.
// They are Windows-1252 HTML; every stored value is escaped on the way out.
class WebPages
{
public:
    struct RegistrationForm
    {
        std::string pseudo;
        std::string email;
        std::string web;
    };

    // The registration form, with an error above it when there is one and
    // the values typed so far filled in again.
    static std::string registration(const RegistrationForm &values, std::string_view error);
    static std::string registered(const Member &member);
    static std::string profile(const Member &member, bool hasAvatar, bool online);
    static std::string notFound(std::string_view what);
    static std::string home();

private:
    static std::string page(std::string_view title, std::string_view body);
};

} // namespace devserver
