#pragma once

#include "core/ports/article_view.h"
#include "core/ports/key_event.h"
#include "core/ports/services.h"
#include "core/state/app_state.h"

namespace vennadar {

// The article window's created event: title, body text, links, the audio offer, first link.
void ShowArticle(AppState& state, ArticleView& view, Services& services);

// The article opened with a body: it is read, in the reader's memory and in this run's lists.
void NoteArticleRead(AppState& state, Services& services);

// Cuts the body out of the page text; false (after its message) when there is none.
bool ExtractArticleBody(AppState& state, ArticleView& view, Services& services);

// Lists the body's links: addresses into ArticleLinks, captions as plain text into the list.
void ExtractArticleLinks(AppState& state, ArticleView& view);

void CopyLink(const AppState& state, ArticleView& view);
void OpenLink(const AppState& state, const ArticleView& view, Services& services);
void ShowLinkMenu(ArticleView& view);

// Keys in the body box: Enter, Space or Backspace without a modifier close the window. True when
// the key was taken.
bool BodyKeyPressed(ArticleView& view, KeyEvent key);

// Saves the body box's text as GBK in a file the user names.
void SaveArticleAsText(ArticleView& view, Services& services);

// The file name the save dialog proposes: the title and ".txt", with characters that cannot
// stand in a file name replaced.
Text ProposedFileName(const Text& title);

}  // namespace vennadar
