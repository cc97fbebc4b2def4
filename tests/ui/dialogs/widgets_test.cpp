#include "dialog_support.h"
#include "drive_list.h"
#include "folder_list.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTranslator>

using namespace dravonel;

namespace {

const char* kMountTable = "proc /proc proc rw,relatime 0 0\n"
                          "sysfs /sys sysfs rw 0 0\n"
                          "overlay / overlay rw,relatime 0 0\n"
                          "devpts /dev/pts devpts rw 0 0\n"
                          "/dev/sda1 /boot ext4 rw 0 0\n"
                          "/dev/sda2 /home ext4 rw 0 0\n"
                          "tmpfs /run/user/1000 tmpfs rw 0 0\n"
                          "tmpfs /mnt/scratch tmpfs rw 0 0\n"
                          "/dev/sdb1 /media/user/my\\040stick vfat rw 0 0\n"
                          "/dev/sdc1 /mnt/data ext4 rw 0 0\n"
                          "/dev/sdc1 /mnt/data ext4 rw 0 0\n"
                          "/dev/sdd1 /run/media/user/CARD exfat rw 0 0\n"
                          "cgroup2 /sys/fs/cgroup cgroup2 rw 0 0\n";

TEST(DriveListTest, MountTableGivesTheBrowsableVolumes) {
    EXPECT_EQ(
        browsableVolumes(QString::fromLatin1(kMountTable), QStringLiteral("/home/user")),
        (QStringList{"/", "/home", "/media/user/my stick", "/mnt/data", "/run/media/user/CARD"}));
    // The home folder on the root volume adds nothing; the root is listed even
    // when the table lacks it.
    EXPECT_EQ(
        browsableVolumes(QStringLiteral("/dev/sda2 /home ext4 rw 0 0\n"), QStringLiteral("/root")),
        QStringList{"/"});
    EXPECT_EQ(browsableVolumes(QString(), QStringLiteral("/root")), QStringList{"/"});
}

TEST(DriveListTest, VolumeOfTakesTheLongestMountPrefix) {
    const QStringList volumes{"/", "/media/usb", "/media/usb2", "/media/usb/inner"};
    EXPECT_EQ(volumeOf("/media/usb2/x", volumes), "/media/usb2");
    EXPECT_EQ(volumeOf("/media/usb/a/b", volumes), "/media/usb");
    EXPECT_EQ(volumeOf("/media/usb", volumes), "/media/usb");
    EXPECT_EQ(volumeOf("/media/usb/inner/z", volumes), "/media/usb/inner");
    EXPECT_EQ(volumeOf("/media/usbx", volumes), "/");
    EXPECT_EQ(volumeOf("relative/path", volumes), "");
}

TEST(DriveListTest, SelectsTheVolumeOfAPathWithoutSignalling) {
    DriveList list;
    ASSERT_GE(list.count(), 1);
    EXPECT_EQ(list.itemText(0), "/");
    QSignalSpy changed(&list, &DriveList::driveChanged);
    list.setDriveOf(QDir::homePath());
    EXPECT_TRUE(QDir::homePath().startsWith(list.drive()));
    list.setDriveOf(QStringLiteral("/"));
    EXPECT_EQ(list.drive(), "/");
    list.refresh();
    EXPECT_EQ(list.drive(), "/");
    EXPECT_EQ(changed.count(), 0);
}

class FolderListTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(temp.isValid());
        root = QDir::cleanPath(temp.path());
        for (const char* name : {"b", "A", "c", ".hidden", "b/inner"})
            ASSERT_TRUE(QDir(root).mkpath(QString::fromLatin1(name)));
        QFile file(root + "/file.txt");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }

    void press(int key) {
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(&list, &event);
    }

    QStringList texts() const {
        QStringList out;
        for (int i = 0; i < list.count(); ++i)
            out.append(list.item(i)->text());
        return out;
    }

    QTemporaryDir temp;
    QString root;
    FolderList list;
};

TEST_F(FolderListTest, ListsAncestorsThenSortedSubfoldersWithoutHiddenOnes) {
    QSignalSpy changed(&list, &FolderList::pathChanged);
    ASSERT_TRUE(list.setPath(root + "/"));
    EXPECT_EQ(list.path(), root);
    EXPECT_EQ(changed.count(), 1);

    QStringList expected{"/"};
    for (const QString& part : root.split('/', Qt::SkipEmptyParts))
        expected.append(part);
    expected << "A"
             << "b"
             << "c";
    EXPECT_EQ(texts(), expected);

    EXPECT_EQ(list.listIndex(), -1);
    EXPECT_EQ(list.listCount(), 3);
    EXPECT_EQ(list.entry(-1), root);
    EXPECT_EQ(list.entry(-2), QDir::cleanPath(root + "/.."));
    EXPECT_EQ(list.entry(0), root + "/A");
    EXPECT_EQ(list.entry(2), root + "/c");
    EXPECT_EQ(list.entry(3), "");
    const int chain = int(expected.size()) - 3;
    EXPECT_EQ(list.entry(-chain), "/");
    EXPECT_EQ(list.entry(-chain - 1), "");

    // Setting the same folder again re-reads it but signals nothing.
    ASSERT_TRUE(list.setPath(root));
    EXPECT_EQ(changed.count(), 1);
}

TEST_F(FolderListTest, EnterOpensTheHighlightedEntryAndBackspaceTheOneAbove) {
    ASSERT_TRUE(list.setPath(root));
    QSignalSpy changed(&list, &FolderList::pathChanged);

    list.setListIndex(1);
    press(Qt::Key_Return);
    EXPECT_EQ(list.path(), root + "/b");
    EXPECT_EQ(list.listIndex(), -1);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed[0][0].toString(), root + "/b");

    // From the open folder, Backspace goes to its parent.
    press(Qt::Key_Backspace);
    EXPECT_EQ(list.path(), root);

    // With a subfolder highlighted the entry above it is the open folder.
    list.setListIndex(0);
    press(Qt::Key_Backspace);
    EXPECT_EQ(list.path(), root);
    EXPECT_EQ(changed.count(), 2);

    // Enter on the open folder keeps it; Enter on an ancestor opens it.
    press(Qt::Key_Enter);
    EXPECT_EQ(list.path(), root);
    list.setListIndex(-2);
    press(Qt::Key_Enter);
    EXPECT_EQ(list.path(), QDir::cleanPath(root + "/.."));
}

TEST_F(FolderListTest, BackspaceAtTheRootStaysThere) {
    ASSERT_TRUE(list.setPath("/"));
    EXPECT_EQ(list.entry(-1), "/");
    press(Qt::Key_Backspace);
    EXPECT_EQ(list.path(), "/");
}

TEST_F(FolderListTest, DoubleClickOpensAndSingleClickOnlyHighlights) {
    ASSERT_TRUE(list.setPath(root));
    list.resize(300, 400);
    const int row = list.count() - 1; // "c"
    const QPoint centre = list.visualItemRect(list.item(row)).center();

    QMouseEvent press(QEvent::MouseButtonPress, centre, list.viewport()->mapToGlobal(centre),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, centre, list.viewport()->mapToGlobal(centre),
                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(list.viewport(), &press);
    QApplication::sendEvent(list.viewport(), &release);
    EXPECT_EQ(list.path(), root);
    EXPECT_EQ(list.listIndex(), 2);

    QMouseEvent twice(QEvent::MouseButtonDblClick, centre, list.viewport()->mapToGlobal(centre),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list.viewport(), &press);
    QApplication::sendEvent(list.viewport(), &twice);
    QApplication::sendEvent(list.viewport(), &release);
    EXPECT_EQ(list.path(), root + "/c");
}

TEST_F(FolderListTest, RefusesWhatCannotBeListedAndKeepsTheList) {
    ASSERT_TRUE(list.setPath(root));
    const QStringList before = texts();
    QSignalSpy changed(&list, &FolderList::pathChanged);
    EXPECT_FALSE(list.setPath(root + "/missing"));
    EXPECT_FALSE(list.setPath(root + "/file.txt"));
    EXPECT_FALSE(list.setPath(QString()));
    EXPECT_EQ(list.path(), root);
    EXPECT_EQ(texts(), before);
    EXPECT_EQ(changed.count(), 0);
}

TEST_F(FolderListTest, RefreshShowsNewFoldersAndLeavesAVanishedOne) {
    ASSERT_TRUE(list.setPath(root + "/b/inner"));
    ASSERT_TRUE(QDir(root).mkdir("d"));
    ASSERT_TRUE(QDir(root + "/b").removeRecursively());
    QSignalSpy changed(&list, &FolderList::pathChanged);
    list.refresh();
    EXPECT_EQ(list.path(), root);
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(list.listCount(), 3);
    EXPECT_EQ(list.entry(2), root + "/d");
}

// The program loads Qt's Japanese translation, so Qt's own buttons are
// Japanese whatever the locale (the tests run in the C locale).
TEST(QtTranslationTest, StandardButtonsAreJapanese) {
    QTranslator translator;
    ASSERT_TRUE(loadQtJapanese(translator));
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Dravonel2"), QStringLiteral("?"),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    EXPECT_EQ(box.button(QMessageBox::Yes)->text(), QStringLiteral("はい(&Y)"));
    EXPECT_EQ(box.button(QMessageBox::Cancel)->text(), QStringLiteral("キャンセル"));
}

} // namespace
