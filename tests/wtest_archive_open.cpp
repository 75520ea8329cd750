#include "TestUtils.h"

#include "DesktopOpen.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QObject>
#include <QUrl>

#include <gtest/gtest.h>

namespace {

// Stands in for the desktop's file handler, so that no program starts.
class FileUrlCatcher : public QObject {
    Q_OBJECT
public:
    FileUrlCatcher() { QDesktopServices::setUrlHandler("file", this, "Catch"); }
    ~FileUrlCatcher() override { QDesktopServices::unsetUrlHandler("file"); }
    QList<QUrl> urls;

public slots:
    void Catch(const QUrl& url) { urls << url; }
};

} // namespace

TEST(OpenWithDesktopTest, HandsTheDesktopTheFileAsAbsoluteLocalUrl)
{
    TempDir dir;
    const std::string path = dir.File("архив.txt");
    WriteBytes(path, "x");
    FileUrlCatcher catcher;

    OpenWithDesktop(path);
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(dir.Path())));
    OpenWithDesktop("архив.txt");
    QDir::setCurrent(previous);

    ASSERT_EQ(catcher.urls.size(), 2);
    const QString expected = QFileInfo(QString::fromStdString(path)).canonicalFilePath();
    ASSERT_FALSE(expected.isEmpty());
    for (const QUrl& url : catcher.urls) {
        EXPECT_TRUE(url.isLocalFile());
        EXPECT_EQ(QFileInfo(url.toLocalFile()).canonicalFilePath(), expected);
    }
}

#include "wtest_archive_open.moc"
