#pragma once
// The call contract between the spell checker component and the speller engine library
// (libquorvel_speller.so). Plain C: the component loads the library at run time and finds the
// sixteen entry points by name.
//
// Text is UTF-16 (so no character is lost to a code page); the suggestion-buffer size counts
// UTF-16 units, the rating-buffer size bytes. Every entry point returns a 32-bit code whose
// low 16 bits are 0 on success.
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef uint32_t SPLID;  // speller instance
typedef uint32_t SPLREF; // main or user dictionary reference, or one of the built-in list ids
typedef uint32_t SPLSEC; // result code

// Commands of SpellCheck.
enum {
    splcmdVerify = 2,
    splcmdSuggest = 3,
    splcmdSuggestMore = 4,
};

// Input spell states.
enum {
    splstateNone = 0,
    splstateContinued = 1,    // the text continues the one given to the previous verify
    splstateStartSentence = 2 // the text begins a sentence
};

// Built-in lists, living as long as the speller instance; the ignore-always list is also the
// list a user dictionary opened with that type keeps.
enum {
    splListUser = 0, // SpellOpenUdr: a user dictionary of its own (words are added with SpellAddUdr)
    splListChangeOnce = 0xFFFC,
    splListChangeAlways = 0xFFFD,
    splListIgnoreAlways = 0xFFFE,
};

// Option bits (SpellOptions).
enum {
    splOptSuggestFromUserDict = 0x0001,
    splOptIgnoreAllCaps = 0x0002,
    splOptIgnoreMixedDigits = 0x0004,
    splOptIgnoreRomanNumerals = 0x0008,
    splOptFindUncappedSentences = 0x0010,
    splOptFindMissingSpaces = 0x0020,
    splOptFindRepeatWord = 0x0040,
    splOptFindExtraSpaces = 0x0080,
    splOptFindSpacesBeforePunc = 0x0100,
    splOptFindSpacesAfterPunc = 0x0200,
    splOptRateSuggestions = 0x0400,
    splOptFindInitialNumerals = 0x0800,
};

// Statuses of a verify (and 8 at the end of a suggestion list).
enum {
    splstatNoErrors = 0,
    splstatUnknownInputWord = 1,
    splstatReturningChangeAlways = 2,
    splstatReturningChangeOnce = 3,
    splstatInvalidHyphenation = 4,
    splstatErrorCapitalization = 5,
    splstatWordConsideredAbbreviation = 6,
    splstatHyphChangesSpelling = 7,
    splstatNoMoreSuggestions = 8,
    splstatMoreInfoThanBufferCouldHold = 9,
    splstatNoSentenceStartCap = 10,
    splstatRepeatWord = 11,
    splstatExtraSpaces = 12,
    splstatMissingSpace = 13,
    splstatInitialNumeral = 14,
};

// Result codes (low 16 bits).
enum {
    splsecNoErrors = 0,
    splsecOutOfMemory = 1,
    splsecInvalidId = 2,
    splsecInvalidParameter = 3,
    splsecFileReadError = 4,
    splsecFileWriteError = 5,
    splsecInvalidDictionary = 6,
    splsecUnknownList = 7,
    splsecReadOnlyList = 8,
};

// 11 bytes: the 8-bit codes of the characters the engine treats specially.
typedef struct SPLSPECIALCHARS {
    uint8_t bIgnore, bHyphenHard, bHyphenSoft, bHyphenNonBreaking, bEmDash, bEnDash, bEllipsis;
    uint8_t rgLineBreak[2];
    uint8_t rgParaBreak[2];
} SPLSPECIALCHARS;

typedef struct SPLINPUT {
    uint16_t cch;          // characters to look at
    uint16_t cMdr;         // main dictionaries (1)
    uint16_t cUdr;         // user dictionaries (1)
    uint16_t wSpellState;  // splstate*
    const uint16_t* lrgch; // the characters
    const SPLREF* lrgMdr;
    const SPLREF* lrgUdr;
} SPLINPUT;

typedef struct SPLRETURN {
    uint16_t ichError;  // from lrgch
    uint16_t cchError;
    uint16_t scrs;      // splstat*
    uint16_t csz;       // words placed in the suggestion buffer
    uint16_t cchMac;    // units of the suggestion buffer used
    uint16_t cch;       // size of the suggestion buffer (units)
    uint16_t* lrgsz;    // NUL-terminated words, then an empty word
    uint8_t* lrgbRating;
    uint16_t cbRate;    // size of the rating buffer
} SPLRETURN;

#ifdef __cplusplus
static_assert(sizeof(SPLSPECIALCHARS) == 11, "special-characters record is 11 bytes");
static_assert(offsetof(SPLINPUT, lrgch) == 8 && offsetof(SPLINPUT, lrgUdr) == 8 + 2 * sizeof(void*));
static_assert(offsetof(SPLRETURN, lrgsz) == 16 && offsetof(SPLRETURN, cbRate) == 16 + 2 * sizeof(void*));
#endif

typedef SPLSEC (*PFSpellVer)(uint16_t* version, uint16_t* engine, uint16_t* type);
typedef SPLSEC (*PFSpellInit)(SPLID* id, const SPLSPECIALCHARS* special);
typedef SPLSEC (*PFSpellOptions)(SPLID id, uint32_t options);
typedef SPLSEC (*PFSpellCheck)(SPLID id, uint16_t command, SPLINPUT* input, SPLRETURN* ret);
typedef SPLSEC (*PFSpellTerminate)(SPLID id, int32_t force);
typedef SPLSEC (*PFSpellVerifyMdr)(const char* mdrPath, uint16_t language, uint16_t* languageOut);
typedef SPLSEC (*PFSpellOpenMdr)(SPLID id, const char* mdrPath, const char* exceptionPath, int32_t createException,
                                 int32_t cache, uint16_t language, SPLREF* mdr);
typedef SPLSEC (*PFSpellOpenUdr)(SPLID id, const char* udrPath, int32_t create, uint32_t listType, SPLREF* udr,
                                 int32_t* readOnly);
typedef SPLSEC (*PFSpellAddUdr)(SPLID id, SPLREF list, const uint16_t* word);
typedef SPLSEC (*PFSpellAddChangeUdr)(SPLID id, SPLREF list, const uint16_t* word, const uint16_t* change);
typedef SPLSEC (*PFSpellDelUdr)(SPLID id, SPLREF list, const uint16_t* word);
typedef SPLSEC (*PFSpellClearUdr)(SPLID id, SPLREF list);
typedef SPLSEC (*PFSpellGetSizeUdr)(SPLID id, SPLREF list, uint16_t* count);
typedef SPLSEC (*PFSpellGetListUdr)(SPLID id, SPLREF list, uint16_t first, SPLRETURN* ret);
typedef SPLSEC (*PFSpellCloseMdr)(SPLID id, SPLREF mdr);
typedef SPLSEC (*PFSpellCloseUdr)(SPLID id, SPLREF udr, int32_t force);

#ifdef __cplusplus
}
#endif
