// The optional observer of the profile's reading and of the plan step. The GUI never sets one;
// the profile authors' companion does, to say which entry brought each planned item in, which
// ignore entry spared one and which protection refused one, while the engine builds the plan with
// its own code.
#pragma once

#include <windows.h>

class TSet;

class CPlanObserver {
public:
    virtual ~CPlanObserver() {}

    // An entry line ('remove=...' or 'ignore=...') of a section has been parsed into `set`.
    // `line` counts the profile's lines from 1; `text` is the line as read; `result` is the
    // parser's verdict. Returning true after a failure lets the reader go on with the next line
    // (the failure is the observer's to report), so that one reading finds every bad entry.
    virtual bool EntryParsed(TSet& set, int line, const char* text, DWORD result) = 0;

    // The plan step starts turning one item of the profile set `source` into plan items.
    virtual void ExpandingItem(const TSet& source, const char* item) = 0;

    // `item` went into `plan` (or was there already) for the item being expanded.
    virtual void ItemPlanned(const TSet& plan, const char* item) = 0;

    // `item` left `plan` because it contains the ignore item `ignore`.
    virtual void ItemSpared(const TSet& plan, const char* item, const char* ignore) = 0;

    // A protection refused `text`: `kind` is "path" or "key" (as the log's refusal lines say),
    // `reason` a short plain text.
    virtual void ItemRefused(const char* kind, const char* text, const char* reason) = 0;
};
