// The string catalogue for the native stand-in of LoadStringW, which knows
// none of its own: native programs that load the plug-in's texts hand it
// over first, as the DLL carries its string tables.
#pragma once

namespace support {

void UseCatalogue();

}  // namespace support
