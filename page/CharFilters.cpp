#include "page/CharFilters.h"

namespace {

constexpr WPARAM kBackspace = 0x08;

}  // namespace

bool NameCharAccepted(WPARAM code) {
    if (code == u'"' || code == u'%') return false;
    if (code >= 0x20 && code <= 0x7E) return true;
    return code == kBackspace;
}

bool PasswordCharAccepted(WPARAM code) {
    if (code >= 0x21 && code <= 0x7E) return true;
    return code == kBackspace;
}

bool DigitCharAccepted(WPARAM code) {
    if (code >= u'0' && code <= u'9') return true;
    return code == kBackspace;
}

bool CharAccepted(CharFilter filter, WPARAM code) {
    switch (filter) {
        case CharFilter::None: return true;
        case CharFilter::Name: return NameCharAccepted(code);
        case CharFilter::Password: return PasswordCharAccepted(code);
        case CharFilter::Digit: return DigitCharAccepted(code);
    }
    return true;
}

bool FilterSwallows(CharFilter filter, UINT message, WPARAM wParam) {
    return message == kCharMessage && !CharAccepted(filter, wParam);
}
