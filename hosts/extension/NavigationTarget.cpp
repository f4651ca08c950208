#include "hosts/extension/NavigationTarget.h"

#include <QUrl>

namespace wys::extension {

std::string UrlOfNavigationTarget(const std::string& target)
{
    QString text = QString::fromStdString(target).trimmed();
    if (text.isEmpty())
        return {};
    QUrl url;
    if (text.startsWith('/')) {
        text.replace('\\', '/');
        url = QUrl::fromLocalFile(text);
    } else {
        url = QUrl(text, QUrl::StrictMode);
        if (!url.isValid() || url.scheme().isEmpty())
            return {};
    }
    return url.toString(QUrl::FullyEncoded).toStdString();
}

bool SameAddress(const std::string& a, const std::string& b)
{
    QUrl left(QString::fromStdString(a));
    QUrl right(QString::fromStdString(b));
    return left.isValid() && right.isValid() &&
           left.adjusted(QUrl::NormalizePathSegments).toString(QUrl::FullyDecoded) ==
               right.adjusted(QUrl::NormalizePathSegments).toString(QUrl::FullyDecoded);
}

}  // namespace wys::extension
