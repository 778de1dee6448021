#pragma once

#include <QString>

namespace tr {

// A text the host translates: an id and a default text.
class Tr
{
public:
    Tr();
    Tr(const QString &id, const QString &defaultText);
    Tr(const Tr &other);
    Tr &operator=(const Tr &other);
    ~Tr();

    bool isEmpty() const;
};

} // namespace tr
