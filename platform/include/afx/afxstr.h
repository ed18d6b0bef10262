// The framework's string classes: CString (a wide, NUL-terminated string with value semantics)
// and CStringArray, as the programs (Unicode builds) use them.
#pragma once

#include <cstdarg>
#include <string>
#include <string_view>
#include <vector>

#include "afx/afxres.h"
#include "win/base.h"
#include "win/kernel.h"

// Generic-text names of a Unicode build: TCHAR is WCHAR and _T("x") is u"x".
typedef WCHAR TCHAR;
typedef WCHAR* LPTSTR;
typedef const WCHAR* LPCTSTR;
#ifndef _T
#define _T(x) u##x
#endif
#ifndef _TEXT
#define _TEXT(x) u##x
#endif

// A NUL-terminated UTF-16 string with value semantics (bad indexes: GetAt/operator[] answer NUL,
// SetAt does nothing, where Windows asserts). Leaves out reference counting and buffer locking.
class CString {
public:
    CString() = default;
    CString(LPCWSTR text);                 // NULL is an empty string
    CString(const char* text);             // from the ANSI code page (CP_ACP); NULL is empty
    CString(LPCWSTR text, int length);     // exactly `length` units (NULL or length < 0: empty)
    explicit CString(WCHAR ch, int repeat = 1);
    CString(std::u16string_view text);
    CString(const CString&) = default;
    CString(CString&& other) noexcept;
    ~CString() = default;

    CString& operator=(const CString&) = default;
    CString& operator=(CString&& other) noexcept;
    CString& operator=(LPCWSTR text);
    CString& operator=(const char* text);
    CString& operator=(WCHAR ch);
    CString& operator=(std::u16string_view text);

    // ---- Length and characters ------------------------------------------------------------------
    int GetLength() const { return static_cast<int>(text_.size()); }
    bool IsEmpty() const { return text_.empty(); }
    void Empty() { text_.clear(); }
    // The unit at `index`; NUL when out of range.
    WCHAR GetAt(int index) const;
    WCHAR operator[](int index) const { return GetAt(index); }
    // Sets the unit at `index`; does nothing when out of range.
    void SetAt(int index, WCHAR ch);
    operator LPCWSTR() const { return text_.c_str(); }
    LPCWSTR GetString() const { return text_.c_str(); }

    // ---- Buffers --------------------------------------------------------------------------------
    // A writable buffer of at least `minLength` units plus the terminator; the string holds that
    // many units (padded with NULs) until ReleaseBuffer. Negative lengths count as 0.
    LPWSTR GetBuffer(int minLength);
    LPWSTR GetBuffer() { return text_.data(); }
    // A writable buffer of exactly `length` units; the string's length becomes `length`.
    LPWSTR GetBufferSetLength(int length);
    // Ends writing: -1 keeps the units before the first NUL, else `newLength` units (clamped to the buffer).
    void ReleaseBuffer(int newLength = -1);
    void ReleaseBufferSetLength(int newLength) { ReleaseBuffer(newLength < 0 ? 0 : newLength); }

    // ---- Appending ------------------------------------------------------------------------------
    CString& operator+=(const CString& other);
    CString& operator+=(LPCWSTR text);
    CString& operator+=(const char* text);
    CString& operator+=(WCHAR ch);
    void Append(const CString& other) { *this += other; }
    void Append(LPCWSTR text) { *this += text; }
    void Append(LPCWSTR text, int length);  // at most `length` units, stopping at a NUL
    void AppendChar(WCHAR ch) { text_.push_back(ch); }

    // ---- Comparing (ordinal; CompareNoCase folds case as lstrcmpiW does) ------------------------
    int Compare(LPCWSTR other) const;  // < 0, 0 or > 0; NULL is an empty string
    int Compare(const CString& other) const;  // all units, embedded NULs too
    int CompareNoCase(LPCWSTR other) const;

    // ---- Pieces (counts and positions clamped to the string) -------------------------------------
    CString Left(int count) const;
    CString Right(int count) const;
    CString Mid(int first) const;
    CString Mid(int first, int count) const;
    // The leading units that are all in `set` / none in `set` (NULL is an empty set).
    CString SpanIncluding(LPCWSTR set) const;
    CString SpanExcluding(LPCWSTR set) const;
    // The next token at or after `start` between delimiters of `tokens`; moves `start` past the
    // delimiter that ends it, or answers an empty string and sets `start` to -1 at the end. An empty
    // or NULL set makes the rest of the string one token.
    CString Tokenize(LPCWSTR tokens, int& start) const;

    // ---- Searching (-1 when not found or `start` is out of range) --------------------------------
    int Find(WCHAR ch, int start = 0) const;
    int Find(LPCWSTR sub, int start = 0) const;  // an empty `sub` is found at `start`
    int ReverseFind(WCHAR ch) const;
    int FindOneOf(LPCWSTR set) const;

    // ---- Changing -------------------------------------------------------------------------------
    // Replacements made (0 when the two are equal, or `from` is NULL or empty; NULL `to` removes).
    int Replace(WCHAR from, WCHAR to);
    int Replace(LPCWSTR from, LPCWSTR to);
    int Remove(WCHAR ch);                  // units removed
    int Insert(int index, WCHAR ch);       // index clamped to [0, length]; answers the new length
    int Insert(int index, LPCWSTR text);
    int Delete(int index, int count = 1);  // answers the new length
    // Case mapping of single UTF-16 units (simple Unicode mapping; surrogates left alone).
    CString& MakeUpper();
    CString& MakeLower();
    CString& MakeReverse();
    // Trimming white space (Unicode spaces, tabs and line breaks), one unit, or units of a set.
    CString& Trim();
    CString& Trim(WCHAR target);
    CString& Trim(LPCWSTR targets);
    CString& TrimLeft();
    CString& TrimLeft(WCHAR target);
    CString& TrimLeft(LPCWSTR targets);
    CString& TrimRight();
    CString& TrimRight(WCHAR target);
    CString& TrimRight(LPCWSTR targets);

    // ---- Formatting -----------------------------------------------------------------------------
    // printf as the Windows runtime of a Unicode build does it (flags -+ #0, widths, precisions, '*',
    // h hh l ll L w I I32 I64 z j t with l 32 bits; %s %c wide, %S %C %hs %hc ANSI; NULL "(null)";
    // %p 16 hex digits); leaves out %n and other conversions (copied as they stand), widths over 1000000.
    void Format(LPCWSTR format, ...);
    void Format(UINT formatId, ...);  // the format is the string `formatId` of AfxGetResourceHandle()
    void FormatV(LPCWSTR format, va_list args);
    void AppendFormat(LPCWSTR format, ...);
    void AppendFormatV(LPCWSTR format, va_list args);

    // ---- Resources ------------------------------------------------------------------------------
    // The string `id` of AfxGetResourceHandle() (or `module`), whole; FALSE and empty when missing.
    BOOL LoadString(UINT id);
    BOOL LoadString(HINSTANCE module, UINT id);

private:
    std::u16string text_;
};

CString operator+(const CString& a, const CString& b);
CString operator+(const CString& a, LPCWSTR b);
CString operator+(LPCWSTR a, const CString& b);
CString operator+(const CString& a, WCHAR b);
CString operator+(WCHAR a, const CString& b);

inline bool operator==(const CString& a, const CString& b) { return a.Compare(b) == 0; }
inline bool operator==(const CString& a, LPCWSTR b) { return a.Compare(b) == 0; }
inline bool operator==(LPCWSTR a, const CString& b) { return b.Compare(a) == 0; }
inline bool operator!=(const CString& a, const CString& b) { return a.Compare(b) != 0; }
inline bool operator!=(const CString& a, LPCWSTR b) { return a.Compare(b) != 0; }
inline bool operator!=(LPCWSTR a, const CString& b) { return b.Compare(a) != 0; }
inline bool operator<(const CString& a, const CString& b) { return a.Compare(b) < 0; }
inline bool operator<(const CString& a, LPCWSTR b) { return a.Compare(b) < 0; }
inline bool operator<(LPCWSTR a, const CString& b) { return b.Compare(a) > 0; }
inline bool operator>(const CString& a, const CString& b) { return a.Compare(b) > 0; }
inline bool operator>(const CString& a, LPCWSTR b) { return a.Compare(b) > 0; }
inline bool operator>(LPCWSTR a, const CString& b) { return b.Compare(a) < 0; }
inline bool operator<=(const CString& a, const CString& b) { return a.Compare(b) <= 0; }
inline bool operator<=(const CString& a, LPCWSTR b) { return a.Compare(b) <= 0; }
inline bool operator<=(LPCWSTR a, const CString& b) { return b.Compare(a) >= 0; }
inline bool operator>=(const CString& a, const CString& b) { return a.Compare(b) >= 0; }
inline bool operator>=(const CString& a, LPCWSTR b) { return a.Compare(b) >= 0; }
inline bool operator>=(LPCWSTR a, const CString& b) { return b.Compare(a) <= 0; }

// A growable array of CString; a bad index gives GetAt a shared empty string, ElementAt/operator[] a
// scratch string emptied on each such call, and makes SetAt/RemoveAt do nothing (Windows asserts).
// Leaves out the grow-by hint and serialization.
class CStringArray {
public:
    INT_PTR GetSize() const { return static_cast<INT_PTR>(items_.size()); }
    INT_PTR GetCount() const { return GetSize(); }
    INT_PTR GetUpperBound() const { return GetSize() - 1; }
    bool IsEmpty() const { return items_.empty(); }
    // New elements are empty; a negative size does nothing.
    void SetSize(INT_PTR newSize, INT_PTR growBy = -1);
    void FreeExtra() { items_.shrink_to_fit(); }
    void RemoveAll() { items_.clear(); }

    const CString& GetAt(INT_PTR index) const;
    void SetAt(INT_PTR index, const CString& item);
    CString& ElementAt(INT_PTR index);
    const CString& operator[](INT_PTR index) const { return GetAt(index); }
    CString& operator[](INT_PTR index) { return ElementAt(index); }

    INT_PTR Add(const CString& item);                 // the new element's index
    INT_PTR Append(const CStringArray& other);        // the index of the first element appended
    void Copy(const CStringArray& other);
    // Grows the array when `index` lies beyond its end; a negative index does nothing.
    void SetAtGrow(INT_PTR index, const CString& item);
    // Inserts `count` copies at `index` (growing the array when `index` lies beyond its end);
    // a negative index or a count below 1 does nothing.
    void InsertAt(INT_PTR index, const CString& item, INT_PTR count = 1);
    // Removes `count` elements from `index`; does nothing unless all of them exist.
    void RemoveAt(INT_PTR index, INT_PTR count = 1);

private:
    std::vector<CString> items_;
};
