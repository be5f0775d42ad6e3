<!DOCTYPE html>
<html lang="zh-CN"><head><meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>手机点餐 - 选择餐桌</title>
<style>
body{font-family:sans-serif;margin:0;background:#f2f2f2;color:#222;font-size:17px}
header{background:rgb(75,151,199);color:#fff;padding:12px 14px;font-size:20px;position:sticky;top:0;z-index:1}
header a{color:#fff;text-decoration:none;display:inline-block;padding:10px 12px 10px 0;margin:-10px 0}
main{padding:10px}
.msg{background:#e6f4d9;border:1px solid #9c6;padding:10px;margin:0 0 10px;border-radius:6px}
.btn,button{display:inline-block;min-height:48px;padding:12px 16px;border:0;border-radius:6px;font-size:17px;
background:rgb(75,151,199);color:#fff;text-decoration:none;text-align:center;box-sizing:border-box}
.btn.light{background:#fff;color:rgb(75,151,199);border:1px solid rgb(75,151,199)}
.btn.danger,button.danger{background:#c0392b}
.wide{display:block;width:100%;margin:8px 0}
input[type=text],input[type=tel],input[type=search],input[type=number]{font-size:17px;min-height:44px;
padding:6px 8px;border:1px solid #c0c0c0;border-radius:4px;box-sizing:border-box;width:100%}
.card{background:#fff;border-radius:6px;padding:10px 12px;margin:0 0 8px}
.row{display:flex;align-items:center;gap:8px}
.grow{flex:1;min-width:0;word-break:break-all}
.muted{color:#777;font-size:15px}
.total{font-size:19px;font-weight:bold;color:#c0392b}
</style>
<style>
.tables{display:grid;grid-template-columns:repeat(auto-fill,minmax(140px,1fr));gap:8px}
.table{display:block;min-height:84px;padding:12px;border-radius:8px;text-decoration:none;color:#222;
background:#fff;border:2px solid #9c6}
.table.busy{border-color:#e67e22;background:#fff4e8}
.table b{display:block;font-size:19px;word-break:break-all}
</style></head>
<body>
<header>{{restaurant}} 手机点餐</header>
<main>
<p class="muted">请选择餐桌：绿色为空闲，橙色为就餐中。</p>
<div class="tables">
{{#tables}}
<a class="table{{#occupied}} busy{{/occupied}}" href="{{#occupied}}detail.asp{{/occupied}}{{^occupied}}menu.asp{{/occupied}}?t={{index}}">
<b>{{name}}</b>
{{#occupied}}<span>就餐中</span>{{#total}} <span class="total">￥{{total}}</span>{{/total}}{{/occupied}}
{{^occupied}}<span class="muted">空闲</span>{{/occupied}}
</a>
{{/tables}}
</div>
{{^tables}}<p>还没有设置餐桌，请在收银软件的“综合设置”中添加。</p>{{/tables}}
<p><a class="btn light wide" href="list.asp">刷新</a></p>
<form method="post" action="list.asp"><input type="hidden" name="signout" value="1"><button class="btn light wide" type="submit">退出登录</button></form>
</main>
</body></html>
