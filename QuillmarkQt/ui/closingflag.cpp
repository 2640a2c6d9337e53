#include "closingflag.h"

std::atomic_bool ClosingFlag::s_raised{false};

void ClosingFlag::raise()
{
    s_raised.store(true);
}

void ClosingFlag::lower()
{
    s_raised.store(false);
}

bool ClosingFlag::isRaised()
{
    return s_raised.load();
}
