:: ::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::
::  $create-Thumbnails.cmd  is part of Quimbo - HTML Image Gallery Generator
::  Create fast loading thumbnails with IrfanView
::  e.g. "Dog.jpg" -> "Dog_t.jpg"
::  Copyright (c) 2025 Tervaldo
:: ::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::

@ECHO OFF
CHCP 1252 >NUL

:: ECHO.
:: ECHO  {{RenameNote}} . . .
:: FORFILES /s /m *.* /C "cmd /e:on /v:on /c set \"Phile=@file\" & if @ISDIR==FALSE ren @file !Phile: =-!"
:: for /f "Tokens=*" %%f in ('dir /l/b/a-d') do (rename "%%f" "%%f")

:: SET SIZE=160
SET SIZE=480
SET IRFAN=%ProgramW6432%\IrfanView\i_view64.exe
IF NOT EXIST "%IRFAN%" SET IRFAN=%ProgramFiles(x86)%\IrfanView\i_view32.exe
IF NOT EXIST "%IRFAN%" ECHO IrfanView nicht gefunden. & PAUSE & EXIT

ECHO.
ECHO  {{CreatingThumbnails}} . . .
"%IRFAN%" "*.jpg" /silent /resize_long=%SIZE% /aspectratio /resample /jpgq=70 /convert="$N_t.jpg"
"%IRFAN%" "*.jpeg" /silent /resize_long=%SIZE% /aspectratio /resample /jpgq=70 /convert="$N_t.jpeg"
"%IRFAN%" "*.webp" /silent /resize_long=%SIZE% /aspectratio /resample /convert="$N_t.webp"
"%IRFAN%" "*.png" /silent /resize_long=%SIZE% /aspectratio /resample /convert="$N_t.png"

del /Q "*_t_t.*" >nul 2>&1
ECHO.
ECHO  Done.
ping -n 3 localhost >NUL
CLS
