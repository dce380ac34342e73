#pragma once

// The error numbers the program shows beside a failure's description, named once.

namespace vorlan {

/// Error numbers, as the user sees them after a description ("... 53").
enum ErrorNumber : int {
    InvalidArgument = 5,
    Overflow = 6,
    SubscriptOutOfRange = 9,
    DivisionByZero = 11,
    UserInterrupt = 18,
    FileNotFound = 53,
    DiskFull = 61,
    PastEndOfFile = 62,
    PermissionDenied = 70,
    PathAccess = 75,
    PathNotFound = 76,
    InvalidValue = 380,
    BadFile = 481
};

} // namespace vorlan
