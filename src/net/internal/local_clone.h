#pragma once

#include <string>

// Copies the local folder `source` into `destination` and makes the copy's
// origin point back at it; prints the "Склонировано" line. Returns the exit
// code after reporting its own failures.
int clone_local(const std::string& source, const std::string& destination,
                const std::string& branch);
