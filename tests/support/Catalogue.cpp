#include "tests/support/Catalogue.h"

#include "platform/portable/PortablePlatform.h"
#include "resources/Catalog.h"

namespace support {

void UseCatalogue() {
    platform::portable::UseStringCatalog({resources::FindCatalogText, resources::HasLanguageBlock});
}

}  // namespace support
