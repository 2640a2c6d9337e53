#pragma once

#include "configuration.h"
#include "pkcs11signaturegenerator.h"
#include "storedefinition.h"

#include <QList>

#include <memory>

class PinPrompt;

// Builds the signature generator of one signing run from the configuration
// the user chose.
namespace SignatureGeneratorFactory {

// The module is loaded and initialised here, under the ModuleTrust of the
// page's store definitions; its load errors leave. Without definitions no
// store can have offered the module, and none is loaded.
std::unique_ptr<Pkcs11SignatureGenerator> getInstance(const Configuration &configuration,
                                                      const QList<StoreDefinition> &definitions,
                                                      PinPrompt &pinPrompt);

} // namespace SignatureGeneratorFactory
