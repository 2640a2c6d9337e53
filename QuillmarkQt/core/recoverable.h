#pragma once

#include <functional>

class AppException;

// Failures that concern one token of a search or listing: they are logged
// and the caller goes on with the next token.
namespace Recoverable {

// Runs work; true when it finished, false when it threw (and was logged).
bool attempt(const std::function<void()> &work);
void log(const AppException &exception);

} // namespace Recoverable
