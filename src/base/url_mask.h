// A webhook URL is a credential: whoever has it can post to the channel. Whatever the plugin and
// its tools show of config.json goes through here first, so that no message shows a token,
// whichever key the URL sits under and however the message quotes it.
#pragma once

#include <string>
#include <string_view>

namespace quillmark {

// `url` as it may be shown: a webhook's token ("…/webhooks/<id>/<token>"), or everything after
// the host of any other URL, becomes "****"; a text with no "scheme://host/" in it is all
// "****". For a value known to be a URL (the configured webhook).
std::string MaskWebhook(std::string_view url);

// `text` with every URL in it masked as MaskWebhook masks one, for texts that may quote the file
// (the JSON library's messages, quoted values, JSON Pointers). The text is read as the file
// means it: any character of a URL may be written escaped, as JSON writes it ("\/", "\u003a",
// "\u0077ebhooks"), as a JSON Pointer does ("~1"), or as a URL does ("%2F"), and "webhooks" in
// any letter case. A URL is found by its "scheme://" or by a "/webhooks/<id>/" path. Inside a
// JSON text (after an opening quote written as itself) it runs to the end of that text: the
// closing quote written as itself, or a control character the library stopped at (which its
// messages write "<U+000A>"); elsewhere to the first blank, quote, bracket, brace, comma or
// backslash it means. User names and passwords in it are masked too.
std::string MaskUrlsIn(std::string_view text);

}  // namespace quillmark
