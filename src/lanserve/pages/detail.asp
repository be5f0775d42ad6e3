<!DOCTYPE html>
<html lang="zh-CN"><head><meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>手机点餐 - {{tableName}} 已点菜品</title>
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
.line .actions{display:flex;gap:6px;margin-top:6px}
.line .actions a{flex:1}
.sums{display:grid;grid-template-columns:auto 1fr;gap:4px 12px}
</style></head>
<body>
<header>{{^guest}}<a href="list.asp">‹ 餐桌</a> · {{/guest}}{{tableName}} 已点菜品</header>
<main>
{{#message}}<p class="msg">{{message}}</p>{{/message}}
{{#hasLines}}<p class="muted">开台时间 {{opened}}{{#customerName}} · 联系人 {{customerName}}{{/customerName}}{{#phone}} · 电话 {{phone}}{{/phone}}{{#remark}} · 备注 {{remark}}{{/remark}}</p>{{/hasLines}}
{{#pending}}<div class="card"><b>{{time}} {{state}}</b><br><span class="muted">{{dishes}}{{#note}} · {{note}}{{/note}}</span></div>
{{/pending}}
{{#lines}}
<div class="card line">
<div class="row"><div class="grow"><b>{{name}}</b> <span class="muted status">{{status}}</span><br>
<span class="muted">{{quantity}}{{unit}} × {{price}}元{{#lineRemark}} · 备注：{{lineRemark}}{{/lineRemark}}</span></div>
<div><b>￥{{amount}}</b></div></div>
{{^guest}}<div class="actions"><a class="btn light" href="modify.asp?t={{table}}&amp;l={{lineId|url}}">修改</a>
<a class="btn light" href="delete.asp?t={{table}}&amp;l={{lineId|url}}">删除</a></div>{{/guest}}
</div>
{{/lines}}
{{^lines}}<p>本桌还没有点菜。</p>{{/lines}}
{{#hasLines}}
<div class="card sums">
<span>菜品：</span><span>{{dishes}}</span>
<span>酒水：</span><span>{{drinks}}</span>
<span>其他：</span><span>{{others}}</span>
<span>应收：</span><span class="total" id="receivable">￥{{receivable}}</span>
</div>
{{/hasLines}}
<a class="btn wide" href="menu.asp?t={{table}}">继续点菜</a>
{{^guest}}{{#hasLines}}<a class="btn light wide" href="save.asp?t={{table}}">填写联系人、电话、备注</a>{{/hasLines}}
<a class="btn light wide" href="list.asp">返回餐桌列表</a>
<form method="post" action="list.asp"><input type="hidden" name="signout" value="1"><button class="btn light wide" type="submit">退出登录</button></form>{{/guest}}
{{#guest}}<form method="post" action="detail.asp"><input type="hidden" name="t" value="{{table}}"><input type="hidden" name="call" value="1">
<button class="btn light wide" type="submit" id="callWaiter">{{#called}}已呼叫服务员，请稍候{{/called}}{{^called}}呼叫服务员{{/called}}</button></form>
<p class="muted">如需修改或退菜，请联系服务员。</p>{{/guest}}
</main>
</body></html>
