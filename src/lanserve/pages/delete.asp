<!DOCTYPE html>
<html lang="zh-CN"><head><meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>手机点餐 - 删除</title>
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
</head>
<body>
<header><a href="detail.asp?t={{table}}">‹ 已点菜品</a> · {{tableName}} 删除</header>
<main>
{{#line}}
<form method="post" action="delete.asp" class="card">
<p>确定要从账单中删除 <b>{{name}}</b>（{{quantity}}{{unit}}，￥{{amount}}）吗？</p>
<input type="hidden" name="t" value="{{table}}"><input type="hidden" name="b" value="{{billId}}">
<input type="hidden" name="l" value="{{lineId}}">
<p><label>原因（厨房已做的菜会打印退菜单）<select name="reason" style="display:block;width:100%;font-size:17px;min-height:44px;margin-top:4px"><option>顾客不要了</option><option>上错菜</option><option>菜品质量</option><option>等太久</option><option>其他</option></select></label></p>
<button type="submit" class="wide danger">删除</button>
</form>
{{/line}}
<a class="btn light wide" href="detail.asp?t={{table}}">取消</a>
</main>
</body></html>
