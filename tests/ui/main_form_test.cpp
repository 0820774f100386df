#include "support/test_support.h"
#include "ui/main_form.h"
#include "ui/qt_user_interface.h"
#include "workbench/workbench.h"

#include <QApplication>
#include <QTest>
#include <gtest/gtest.h>

using namespace telvo;

TEST(MainForm, StartsWithTheNoProjectCaptionAndClosesCleanly)
{
    test::TempDir home;
    TQtUserInterface ui;
    TWorkbench wb(home.Path(), ui);
    auto* form = new TMainForm(wb);
    form->setAttribute(Qt::WA_DeleteOnClose);
    bool destroyed = false;
    QObject::connect(form, &QObject::destroyed, [&] { destroyed = true; });
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form));
    EXPECT_EQ(form->windowTitle(), QString("TELVO Engineering Support System "));
    EXPECT_TRUE(form->close());
    QTest::qWait(10);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(destroyed);
}
