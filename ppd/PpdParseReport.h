// What a parse read, for the tools that hold a PPD against the plug-in's
// reading of it: how the parse ended, and where each feature, option and
// constraint of the model stands in the source. The plug-in asks for none,
// and a parse without one counts no lines.
#pragma once

#include <cstdint>

#include "ppd/PpdReader.h"
#include "ppd/PpdRecordArray.h"

enum class PpdParseEnd : int32_t {
    Complete,          // the input ended between entries
    InputEndsInEntry,  // ... inside a header value, an *OpenGroup label or a *UIConstraints entry
    InputEndsInBlock,  // ... inside a feature block, before its *CloseUI and the token after it
    SecondQuery,       // a feature block held a second query keyword
    OutOfMemory,       // an allocation failed
};

// The places of one kind of entry, in the model's order.
class PpdSourceSpans {
public:
    ~PpdSourceSpans() { spans_.DeleteRecords(count_); }

    int32_t Count() const { return count_; }
    const PpdSourceSpan& operator[](int32_t i) const { return *spans_[i]; }
    // False without memory, the span not kept.
    bool Add(const PpdSourceSpan& span);

private:
    PpdRecordArray<PpdSourceSpan> spans_;
    int32_t count_ = 0;
    int32_t capacity_ = 64;
};

// One per parse, handed to the document's constructor.
struct PpdParseReport {
    // Until the parse says how it ended, so that a document that could not
    // be allocated, or had no memory to begin with, says no more.
    PpdParseEnd end = PpdParseEnd::OutOfMemory;
    PpdSourceSpan last;          // the last token the parse read: where an early end stopped it
    PpdSourceSpans features;     // from the *OpenUI to the end of the block
    // From the line's first token to the value; by feature, in the features'
    // order, and after OutOfMemory with the options of a feature not kept.
    PpdSourceSpans options;
    PpdSourceSpans constraints;  // from the *UIConstraints to the fourth token
};
