#include "sample-site/pages.h"

#include <algorithm>

#include "sample-site/html.h"

namespace vennadar::sample_site {
namespace {

std::string Root(std::string_view host) {
    return "http://" + std::string(host);
}

// Shared frame of the site's ordinary pages. Nothing in it may end a line with "</a></h2>": the
// reader takes such a line for the start of an article block.
std::string Layout(std::string_view title, std::string_view host, std::string_view keyword,
                   std::string_view main_html) {
    const std::string root = Root(host);
    std::string page;
    page += "<!DOCTYPE html>\n<html lang=\"zh-CN\">\n<head>\n<meta charset=\"UTF-8\">\n";
    page += "<title>" + EscapeHtml(title) + " - " + std::string(kSiteName) + "</title>\n";
    page +=
        "<style>\n"
        "body{max-width:880px;margin:0 auto;font-family:sans-serif;color:#333}\n"
        ".nav li{display:inline;margin-right:12px}\n"
        ".meta{color:#888;font-size:13px}\n"
        ".hl{color:#c00}\n"
        "#footer{border-top:1px solid #ddd;margin-top:24px;font-size:13px;color:#888}\n"
        "</style>\n</head>\n<body>\n";
    page += "<div id=\"header\">\n";
    page +=
        "<div class=\"logo\"><a href=\"" + root + "/\">" + std::string(kSiteName) + "</a></div>\n";
    page += "<div class=\"tagline\">各科知识归纳、经典习题与课外阅读</div>\n";
    page += "<form class=\"search\" action=\"" + root +
            "/\" method=\"get\"><input type=\"text\" name=\"s\" value=\"" + EscapeHtml(keyword) +
            "\"><input type=\"submit\" value=\"搜索\"></form>\n";
    page += "<ul class=\"nav\">\n<li><a href=\"" + root + "/\">最新文章</a></li>\n";
    for (const Category& category : Categories()) {
        page += "<li><a href=\"" + root + "/category/" + category.slug + "\">" + category.name +
                "</a></li>\n";
    }
    page += "</ul>\n</div>\n<div id=\"content\">\n";
    page += main_html;
    page += "</div>\n<div id=\"footer\">\n";
    page += "<p><a href=\"" + root + "/gywm-html\">关于本站</a> | <a href=\"" + root +
            "/jzbz-html\">捐助本站</a> | <a href=\"" + root + "/qun-html\">加入交流群</a></p>\n";
    page += "<p>" + std::string(kSiteName) +
            " &middot; Vennadar 阅读器附带的示例站点，文章均为原创示例内容。</p>\n";
    page += "</div>\n</body>\n</html>\n";
    return page;
}

// The title as listing HTML, with every occurrence of the keyword marked.
std::string ListingTitle(std::string_view title, std::string_view keyword) {
    if (keyword.empty()) {
        return EscapeHtml(title);
    }
    std::string out;
    std::size_t at = 0;
    for (std::size_t found = title.find(keyword); found != std::string_view::npos;
         found = title.find(keyword, at)) {
        out += EscapeHtml(title.substr(at, found - at));
        out += "<span class=\"hl\">" + EscapeHtml(keyword) + "</span>";
        at = found + keyword.size();
    }
    out += EscapeHtml(title.substr(at));
    return out;
}

// The first line of text the body shows, shortened.
std::string Excerpt(const Article& article) {
    const std::string text = VisibleText(article.body_html);
    std::string line;
    for (std::size_t at = 0; at < text.size() && line.empty();) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        line = ReplaceAll(text.substr(at, end - at), "\u00A0", "");
        at = end + 1;
    }
    constexpr std::size_t kExcerptChars = 60;
    std::string excerpt = Utf8Prefix(line, kExcerptChars);
    if (excerpt.size() < line.size()) {
        excerpt += "……";
    }
    return EscapeHtml(excerpt);
}

std::string PageNavigation(const ListingPage& listing, std::string_view host) {
    const std::string base = Root(host) + listing.page_path;
    const auto link = [&](int page, std::string_view caption) {
        return "<a href=\"" + base + std::to_string(page) + listing.query + "\">" +
               std::string(caption) + "</a>";
    };
    std::string nav = "<div class=\"pagenavi\">\n";
    if (listing.page > 1) {
        nav += link(listing.page - 1, "上一页") + "\n";
    }
    // A window of page numbers around the current one.
    const int first = std::max(1, listing.page - 3);
    const int last = std::min(listing.page_count, listing.page + 3);
    for (int page = first; page <= last; ++page) {
        nav += page == listing.page
                   ? "<span class=\"current\">" + std::to_string(page) + "</span>\n"
                   : link(page, std::to_string(page)) + "\n";
    }
    if (listing.page < listing.page_count) {
        nav += link(listing.page + 1, "下一页") + "\n";
    }
    nav += "<span class=\"pages\">第 " + std::to_string(listing.page) + " / " +
           std::to_string(listing.page_count) + " 页</span>\n</div>\n";
    return nav;
}

std::string InfoPage(std::string_view title, std::string_view host,
                     const std::vector<std::string>& paragraphs) {
    std::string main = "<div class=\"crumb\">当前位置：<a href=\"" + Root(host) +
                       "/\">首页</a> &gt; " + std::string(title) + "</div>\n";
    main += "<h1>" + std::string(title) + "</h1>\n";
    for (const std::string& paragraph : paragraphs) {
        main += "<p>" + paragraph + "</p>\n";
    }
    return Layout(title, host, "", main);
}

}  // namespace

std::string RenderListing(const ListingPage& listing, std::string_view host) {
    const std::string root = Root(host);
    std::string main = "<div class=\"crumb\">当前位置：<a href=\"" + root + "/\">首页</a> &gt; " +
                       EscapeHtml(listing.heading) + "</div>\n";
    // The three lines from <h2> on are the shape the reader cuts out: keep them exactly so.
    for (const Article* article : listing.articles) {
        main += "<div class=\"post\">\n";
        main += "<h2><a target=\"_blank\" href=\"" + root + "/archives/" +
                std::to_string(article->id) + ".html\">" +
                ListingTitle(article->title, listing.keyword) + "</a></h2>\n";
        main += "<div class=\"meta\"><span class=\"date\">发表日期：" + article->date + "</span>\n";
        main +=
            "<span class=\"views\">点击：" + std::to_string(article->clicks) + "</span></div>\n";
        main += "<p class=\"excerpt\">" + Excerpt(*article) + "</p>\n";
        main += "</div>\n";
    }
    main += PageNavigation(listing, host);
    return Layout(listing.title, host, listing.keyword, main);
}

std::string RenderNoResults(std::string_view keyword, std::string_view host) {
    const std::string shown = EscapeHtml(keyword);
    std::string main = "<div class=\"crumb\">当前位置：<a href=\"" + Root(host) +
                       "/\">首页</a> &gt; 搜索：" + shown + "</div>\n";
    main += "<div class=\"notice\">没有找到与“" + shown + "”相关的文章，请换个关键词试试。</div>\n";
    return Layout("搜索：" + std::string(keyword), host, keyword, main);
}

std::string RenderNotFound(std::string_view host) {
    const std::string main =
        "<div class=\"notice\">\n<h1>404</h1>\n<p>您要找的页面不存在，"
        "可能已被删除或地址有误。<a href=\"" +
        Root(host) + "/\">返回首页</a></p>\n</div>\n";
    return Layout("页面不存在", host, "", main);
}

std::string RenderArticle(const Article& article, std::string_view host) {
    const std::string root = Root(host);
    const std::string title = EscapeHtml(article.title);
    // The reader finds the body by these exact lines and indents; keep them byte for byte.
    std::string page = "<!DOCTYPE html>\n<html lang=\"zh-CN\">\n";
    page += "<head><meta charset=\"UTF-8\"><title>" + title + "</title></head>\n";
    page += "<body>\n";
    page += "<center><h1>" + title + "</h1>\n";
    page += "<div>正文：</div></center>\n";
    page += "   <article id=\"post_content\">\n";
    const std::string body = BodyForHost(article, host);
    for (std::size_t at = 0; at <= body.size();) {
        const std::size_t end = std::min(body.find('\n', at), body.size());
        page += "    " + body.substr(at, end - at) + "\n";
        at = end + 1;
    }
    page += "       </article>\n";
    page += "<div class=\"footer\">发表日期：" + article.date + "　点击：" +
            std::to_string(article.clicks) + "　栏目：<a href=\"" + root + "/category/" +
            article.slug + "\">" + CategoryName(article.slug) + "</a>　<a href=\"" + root +
            "/\">返回首页</a></div>\n";
    page += "</body>\n</html>\n";
    return page;
}

std::string RenderAbout(std::string_view host) {
    return InfoPage("关于本站", host,
                    {
                        std::string(kSiteName) +
                            "是一个面向中小学生的学习文章站点，按栏目整理各科知识归纳、经典习题、"
                            "考试练习和课外阅读。",
                        "本站文章由编辑和读者原创，欢迎转载，转载时请注明出处。发现文章中的错误，"
                        "请通过读者交流群告诉我们。",
                        "本站是 Vennadar 阅读器附带的示例站点，只在本机运行，供阅读器演示和测试"
                        "使用。",
                    });
}

std::string RenderDonate(std::string_view host) {
    return InfoPage("捐助本站", host,
                    {
                        "本站坚持公益、免费，不设付费内容。服务器和维护费用主要由编辑们自行承担。",
                        "如果本站对你有帮助，把它推荐给身边的同学，就是对我们最好的支持。",
                        "（示例页面：本站不接受也不收取任何款项。）",
                    });
}

std::string RenderChatGroup(std::string_view host) {
    return InfoPage("加入读者交流群", host,
                    {
                        "欢迎加入" + std::string(kSiteName) +
                            "读者交流群，和来自各地的同学一起讨论学习中的问题。",
                        "入群方式：在阅读器中点击“加入交流群”，按提示填写年级和感兴趣的科目，"
                        "管理员审核后即可入群。",
                        "群规：文明发言，不发广告，不刷屏。每周三、周六晚上有志愿者老师在线答疑。",
                        "（示例页面：群号与入群链接仅作演示。）",
                    });
}

std::string ManifestUtf8(std::string_view version) {
    return "<?xml version=\"1.0\" encoding=\"gbk\"?>\n"
           "<更新>\n"
           "<版本号>" +
           EscapeHtml(version) +
           "</版本号>\n"
           "<说明>阅读器新版本已发布：改进了文章列表的翻页和搜索，音频播放更加流畅。</说明>\n"
           "</更新>\n";
}

}  // namespace vennadar::sample_site
