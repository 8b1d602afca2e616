#include "ppd/PpdDocument.h"

PpdDocument::~PpdDocument() = default;
