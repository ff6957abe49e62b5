// ZAMUnified value types: the one list of the scalar types that the reflection layer carries as
// values and that text can name. Everything that depends on the list (the argument and result
// templates built once in the library, the conversions from and to text, the reflection helpers'
// type names, the text layer's typed values) is generated from this macro; adding a type here
// adds it everywhere. Lists of each type are value types too ("list(" + name + ")").
// Threading and failure: a macro; nothing runs.
#ifndef ZAMUNIFIED_VALUETYPELIST_H
#define ZAMUNIFIED_VALUETYPELIST_H

#include <string>

#include <zam/SecureString.h>

// X(C++ type, type name, short alias or "", kind of value, list separator, Suffix), in the order in
// which the formal-parameter conversions and the result texts try them. The kinds are the members
// of ZAMUnified::ValueKind; strings are separated by "|" in list text, everything else by ";".
// Suffix completes the names of the type's text conversions (parameterTypeStringAsPrimitiveType
// + Suffix, parameterTypeStringAsListOfPrimitiveType + Suffix).
#define ZAMUNIFIED_VALUE_TYPES(X)                                                        \
    X(int, "int", "", Number, ";", Int)                                                  \
    X(unsigned int, "unsigned int", "", Number, ";", UnsignedInt)                        \
    X(float, "float", "", Number, ";", Float)                                            \
    X(bool, "bool", "", Boolean, ";", Bool)                                              \
    X(long, "long", "", Number, ";", Long)                                               \
    X(char, "char", "", String, ";", Char)                                               \
    X(std::string, "std::string", "string", String, "|", String)                         \
    X(std::wstring, "std::wstring", "wstring", String, "|", WString)                     \
    X(zam::SecureString, "zam::SecureString", "securestring", Secret, "|", SecureString) \
    X(long long, "long long", "", Number, ";", LongLong)                                 \
    X(double, "double", "", Number, ";", Double)

#endif  // ZAMUNIFIED_VALUETYPELIST_H
