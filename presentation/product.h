#pragma once

namespace tessaly {

// The product's identity as the About dialog and the status bar show it.
inline constexpr const char* kProductName = "Tessaly";
inline constexpr const char* kProductVersionText = "Version 1.5g";
inline constexpr const char* kAuthorLine = "The Tessaly developers";
// The project has no public web site yet: a reserved name that can never
// lead a user to someone else's page.
inline constexpr const char* kWebAddress = "https://tessaly.example.org/";
inline constexpr const char* kContactEmail = "maintainers@users.noreply.c-seed-24f0390b.example";

}  // namespace tessaly
