<!DOCTYPE html>
<html lang="zh-CN"><head><meta charset="utf-8"><meta name="viewport" content="width=device-width, initial-scale=1">
<title>手机点餐</title></head>
<body><p>手机点餐页面即将推出。</p></body></html>
