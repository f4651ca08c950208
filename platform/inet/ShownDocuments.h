// This platform's own part of the internet library's cache: the documents
// that browser windows of this process show, kept by their URL, so that a
// component asked for such a URL without insisting on the latest version
// (the messaging component with urlgetlatestversion false) takes the
// document the person saw, as it stands after its scripts ran, instead of
// fetching the URL again.
//
// Hosts put each document in when their window has finished loading it; the
// cache keeps the most recent ones within a count and a size and forgets the
// oldest first. A URL names one document: a later one replaces it. URLs are
// kept without their fragment. Thread-safe.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

struct ShownDocument {
    std::string contentType;  // as the part saying what the body is: "text/html; charset=utf-8"
    std::string body;
};

// Documents and bytes kept at most.
inline constexpr std::size_t kMaxShownDocuments = 64;
inline constexpr std::size_t kMaxShownDocumentBytes = 64u << 20;

// Keeps `document` as the one shown at `url` (fragment dropped). A document
// larger than the whole cache is not kept.
void CacheShownDocument(std::string_view url, ShownDocument document);

// The document last shown at `url` (fragment ignored), or nullopt.
std::optional<ShownDocument> FindShownDocument(std::string_view url);

// Forgets every document (for tests).
void ClearShownDocuments();
