#pragma once

#include "configuration.h"
#include "pkcs11signaturegenerator.h"

#include <memory>

class PinPrompt;

// Builds the signature generator of one signing run from the configuration
// the user chose.
namespace SignatureGeneratorFactory {

// The module is loaded and initialised here; its load errors leave.
std::unique_ptr<Pkcs11SignatureGenerator> getInstance(const Configuration &configuration,
                                                      PinPrompt &pinPrompt);

} // namespace SignatureGeneratorFactory
