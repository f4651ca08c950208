// Private to platform/mime and the headless browser (which loads what it
// finds along with the page): finds the resources a page embeds, by a tolerant
// scan of its markup and style sheets rather than a full parse. It sees what
// a browser would fetch to show the page without scripts: the scan reads
// attributes of start tags, skips comments, and reads the raw text of
// script, style, textarea, title, xmp, iframe, noembed and noframes elements
// only for what belongs to them (style text is scanned as a style sheet).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

enum class ReferenceKind { Image, Sound, Frame, Object, StyleSheet, Script };

struct PageReference {
    ReferenceKind kind;
    std::string url;  // as written, character references decoded, not yet resolved
};

struct PageReferences {
    std::optional<std::string> base;        // href of the first base element that has one
    std::vector<PageReference> references;  // in document order, repeats kept
};

// The references of an HTML document: src of img, script, frame, iframe,
// embed, bgsound, audio, video and source; srcset candidates of img and
// source; src of image inputs; data of object; poster of video; background
// of body, table, td and th; href of style-sheet links; url() and @import
// in style elements and style attributes.
PageReferences FindHtmlReferences(std::string_view html);

// The references of a style sheet: @import (StyleSheet) and url() (Image).
std::vector<PageReference> FindStyleReferences(std::string_view css);
