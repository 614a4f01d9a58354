#include "ui/tsdiappform.h"

void TSDIAppForm::AddCategoryItemClick()
{
}

void TSDIAppForm::AddSubCategoryItemClick()
{
}

void TSDIAppForm::Property2Click()
{
}

void TSDIAppForm::EditCategory(CCategory*)
{
}

void TSDIAppForm::DeleteCategoryClick()
{
}

void TSDIAppForm::AddNewItem1Click()
{
}

void TSDIAppForm::AddNewItem2Click()
{
}

void TSDIAppForm::AddWebAddressURL1Click()
{
}

void TSDIAppForm::AddWebAddressURL2Click()
{
}

void TSDIAppForm::Property3Click()
{
}

void TSDIAppForm::OnEditSearchExecute()
{
}

void TSDIAppForm::OnFileBackupExecute()
{
}

void TSDIAppForm::OnFileRestoreExecute()
{
}

void TSDIAppForm::ToolsImportIEFavoritesClick()
{
}

void TSDIAppForm::setupDrops()
{
}
